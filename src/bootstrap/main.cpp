#include "bootstrap/bootstrap.h"
#include "os/helper.h"
#include "os/session.h"

int main(int argc, char** argv) {
    int helper_exit = 0;
    if (os_run_helper(argc, argv, &helper_exit)) return helper_exit;
    os_remember_arguments(argc, argv);
    return bootstrap_main();
}
