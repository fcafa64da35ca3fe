// Runs the progress dialog with a worker that asks for proxy credentials, as the proxy road
// would, and writes what came back to the file named by the first argument:
//   result=<0|1>\nuser=<user>\npassword=<password>\n
// The terminal tests drive it through tmux.
#include <cstdio>
#include <string>

#include "bootstrap/dialogs.h"
#include "core/dialog.h"
#include "core/messages.h"
#include "core/run_context.h"
#include "download/proxy_record.h"
#include "os/text.h"

namespace {
const char* result_path = nullptr;

int asking_worker(run_context_ptr owned) {
    run_context* ctx = owned.get();
    dialog_message(ctx, MSG_USING_PROXY);
    proxy_record route{};
    int result = prompt_proxy_credentials(&route);
    if (FILE* out = std::fopen(result_path, "w")) {
        std::fprintf(out, "result=%d\nuser=%s\npassword=%s\n", result, os_to_narrow_lossy(route.proxy_user).c_str(),
                     os_to_narrow_lossy(route.proxy_password).c_str());
        std::fclose(out);
    }
    clear_proxy_credentials(&route);
    dialog_finish(ctx);
    return 0;
}
}   // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s RESULT-FILE\n", argv[0]);
        return 2;
    }
    result_path = argv[1];
    os_use_user_locale();
    select_language();
    int error = 0;
    return run_progress_dialog(&error, asking_worker) == -1 ? 1 : 0;
}
