// Compiled with the include path of qsw_core: a header of a module above it must not be found.
#include "download/transfer.h"

int main() { return 0; }
