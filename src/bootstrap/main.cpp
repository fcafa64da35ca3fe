#include "bootstrap/bootstrap.h"
#include "os/session.h"

int main(int argc, char** argv) {
    os_remember_arguments(argc, argv);
    return bootstrap_main();
}
