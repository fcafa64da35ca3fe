// Downloads one URL into one file through the transfer layer, the way the install retrieval
// does (route 1, no peer verification, the progress hook of the run), and prints the figures.
//   download_bench URL FILE [--resume] [--quiet]
// The log goes to $TMPDIR/HolvenLogs with debug lines on, as in a real run.
#include <sys/stat.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/dialog.h"
#include "core/log.h"
#include "core/run_context.h"
#include "download/transfer.h"
#include "os/text.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s URL FILE [--resume] [--quiet]\n", argv[0]);
        return 2;
    }
    bool resume = false, quiet = false;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--resume") == 0) resume = true;
        if (std::strcmp(argv[i], "--quiet") == 0) quiet = true;
    }
    os_use_user_locale();
    set_severity_mask(log_debug_mask);
    open_log();

    run_context ctx;
    ctx.phase = download_phase::install;
    transfer_handle* handle = create_transfer_handle(on_transfer_progress, &ctx, nullptr, nullptr);
    if (!handle) {
        std::fprintf(stderr, "no transfer handle\n");
        return 1;
    }
    proxy_record route{};
    route.route_kind = ROUTE_AGENT_HANDLER;
    apply_route(handle, &route);

    auto start = std::chrono::steady_clock::now();
    long code = 0;
    int rc = transfer_via_route(handle, &route, argv[1], argv[2], 0, "", &code, resume ? 1 : 0);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    release_transfer_handle(handle);
    close_log();

    struct stat st {};
    stat(argv[2], &st);
    if (!quiet)
        std::printf("result %d, response %ld, %lld bytes in %.3f s (%.1f MiB/s)\n", rc, code,
                    static_cast<long long>(st.st_size), seconds, st.st_size / seconds / 1048576.0);
    return rc == 0 && (code == 200 || code == 206) ? 0 : 1;
}
