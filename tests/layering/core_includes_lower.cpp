// Compiled with the include path of qsw_core: a module reaches its own headers and those of the
// modules below it.
#include "core/log.h"
#include "os/text.h"
#include "utils/bounded_text.h"

int main() { return 0; }
