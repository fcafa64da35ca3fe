#include "bootstrap/bootstrap.h"
int bootstrap_main() { return 0; }
