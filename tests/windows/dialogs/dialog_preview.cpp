// qsw_dialog_preview: the installer's screens, driven by the installer's own dialog code, for the
// screen tests under a virtual display. One screen per run, chosen by the argument:
//   welcome      the welcome dialog; prints "welcome: next" or "welcome: closed"
//   finish       a progress run that finishes; prints the button's caption once it changed and,
//                when the dialog has closed, its result and how long after the finish it closed
//   cancel       a progress run that waits for Cancel, then for a second Cancel; prints what the
//                step lines and the button show after both
//   credentials  a progress run whose worker asks for proxy credentials; prints the answer
//   message      a message box; prints "message box: closed"
//   stop         a request to cancel from another thread while the welcome dialog is up; then
//                a message box and a progress run, which the request must end as well
//   stop-message the same while a message box is up; then the welcome dialog and a progress run
// The lines it prints are what the tests assert on; it reads the windows through Win32 only.
#include <windows.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "bootstrap/dialogs.h"
#include "core/dialog.h"
#include "core/messages.h"
#include "core/run_context.h"
#include "download/proxy_record.h"

namespace {
using steady = std::chrono::steady_clock;
constexpr wchar_t screen_title[] = L"Quenta Swiftset 5.8.3";
constexpr int controls_text = 1003;
constexpr int controls_button = IDCANCEL;

steady::time_point finished_at;

void say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

std::string narrow(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

HWND progress_window() { return FindWindowW(L"#32770", screen_title); }

// From the worker's thread: the screen's thread answers these sends.
std::wstring control_text(int control) {
    HWND item = GetDlgItem(progress_window(), control);
    wchar_t buffer[8192] = {};
    SendMessageW(item, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

int count_of(const std::wstring& text, const std::wstring& part) {
    int count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The start of every run, as the install sequence does it.
void begin_run(run_context* ctx) {
    dialog_set_step(ctx, 2);
    dialog_set_progress(ctx, 0);
    dialog_message(ctx, MSG_STARTING);
}

void end_run(run_context* ctx) {
    finished_at = steady::now();
    dialog_finish(ctx);
}

int finishing_worker(run_context_ptr ctx) {
    begin_run(ctx.get());
    const int steps[] = {MSG_INITIALIZING,          MSG_FETCHING_CONNECTION_DATA, MSG_MAKING_CONNECTION_URL,
                         MSG_GENERATING_PARAMETERS, MSG_VERIFYING_CONFIG,         MSG_DECOMPRESSING_CONFIG,
                         MSG_DOWNLOADING_INSTALL,   MSG_DECOMPRESSING_INSTALL,    MSG_INSTALLING_AGENT,
                         MSG_CLEANING_UP,           MSG_INSTALLATION_FINISHED};
    for (int id : steps) {
        dialog_message(ctx.get(), id);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    end_run(ctx.get());
    // The caption changes once the screen has taken the finished post.
    for (int i = 0; i < 100 && control_text(controls_button) != get_message_text(MSG_BUTTON_OK); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    say("button: %s\n", narrow(control_text(controls_button)).c_str());
    return 0;
}

// Waits for the first Cancel, then for the cancel event to be set again by a second one.
int cancelled_worker(run_context_ptr ctx) {
    begin_run(ctx.get());
    dialog_message(ctx.get(), MSG_INITIALIZING);
    for (int i = 0; i < 1200 && !run_cancelled(ctx.get()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, L"FRAMEINSTCANCELEVENT");
    say("cancel flag: %d\n", ctx->cancel_flag.load());
    if (event) {
        ResetEvent(event);
        say("cancel event set again: %s\n", WaitForSingleObject(event, 30000) == WAIT_OBJECT_0 ? "yes" : "no");
        CloseHandle(event);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));   // the second press is fully handled
    say("aborting lines: %d\n", count_of(control_text(controls_text), get_message_text(MSG_ABORTING)));
    say("button enabled: %d\n", IsWindowEnabled(GetDlgItem(progress_window(), controls_button)) ? 1 : 0);
    end_run(ctx.get());
    return 0;
}

int credentials_worker(run_context_ptr ctx) {
    begin_run(ctx.get());
    proxy_record record{};
    int accepted = prompt_proxy_credentials(&record);
    say("credentials: %s user=%s password=%s\n", accepted ? "accepted" : "refused", narrow(record.proxy_user).c_str(),
        narrow(record.proxy_password).c_str());
    dialog_message(ctx.get(), MSG_INSTALLATION_FINISHED);
    end_run(ctx.get());
    return 0;
}

// The run of a screen that a request to cancel ends: it waits only for the cancel flag.
int stopped_worker(run_context_ptr ctx) {
    begin_run(ctx.get());
    for (int i = 0; i < 1200 && !run_cancelled(ctx.get()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    say("cancel flag: %d\n", ctx->cancel_flag.load());
    end_run(ctx.get());
    return 0;
}

int run_progress(install_worker_fn worker) {
    int error = 0;
    int result = run_progress_dialog(&error, worker);
    long long after = std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - finished_at).count();
    say("progress: result %d error %d closed %lld ms after the finish\n", result, error, after);
    return result == -1 ? 1 : 0;
}

int run_welcome() {
    int error = 0;
    int choice = run_welcome_dialog(&error);
    if (choice == -1) {
        say("welcome: failed %d\n", error);
        return 1;
    }
    say("welcome: %s\n", choice == welcome_next ? "next" : "closed");
    return 0;
}

int run_message_box() {
    bool shown = ui_message_box(screen_title, get_message_text(MSG_INSTALLATION_FINISHED));
    say("message box: %s\n", shown ? "closed" : "failed");
    return shown ? 0 : 1;
}
// Asks to cancel from another thread once the first screen is up (found by its title).
std::thread request_cancel_when_shown() {
    return std::thread([] {
        for (int i = 0; i < 1200 && !progress_window(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        ui_request_cancel();
    });
}

long long run_timed(int (*screen)(), int* status) {
    auto start = steady::now();
    *status |= screen();
    return std::chrono::duration_cast<std::chrono::milliseconds>(steady::now() - start).count();
}

// The request reaches the screen on display (the welcome dialog, or a message box), and every
// later screen acts as if cancelled at once.
int run_stopped(bool message_box_first) {
    std::thread requester = request_cancel_when_shown();
    int status = 0;
    long long box_ms = 0, welcome_ms = 0;
    if (message_box_first) box_ms = run_timed(run_message_box, &status);
    welcome_ms = run_timed(run_welcome, &status);
    requester.join();
    if (!message_box_first) box_ms = run_timed(run_message_box, &status);
    say("screens took: message box %lld ms, welcome %lld ms\n", box_ms, welcome_ms);
    return status | run_progress(stopped_worker);
}
}   // namespace

int main(int argc, char** argv) {
    std::string screen = argc > 1 ? argv[1] : "";
    if (screen == "welcome") return run_welcome();
    if (screen == "finish") return run_progress(finishing_worker);
    if (screen == "cancel") return run_progress(cancelled_worker);
    if (screen == "credentials") return run_progress(credentials_worker);
    if (screen == "message") return run_message_box();
    if (screen == "stop") return run_stopped(false);
    if (screen == "stop-message") return run_stopped(true);
    std::fprintf(stderr, "usage: qsw_dialog_preview welcome|finish|cancel|credentials|message|stop|stop-message\n");
    return 2;
}
