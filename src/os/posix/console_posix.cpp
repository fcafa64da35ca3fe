#include "os/console.h"
#include "os/posix/terminal_posix.h"
#include "os/session.h"
#include "os/text.h"
#include "os/user_interface.h"

#include <cstdio>
#include <string>

void os_console_write(const std::wstring& text) {
    std::string narrow = os_to_narrow_lossy(text);
    // While a progress screen owns the terminal, console lines go above its bar.
    if (terminal::print_above_screen(narrow)) return;
    std::fwrite(narrow.data(), 1, narrow.size(), stdout);
    std::fflush(stdout);
}

void os_console_error(const std::string& line) {
    std::string out = line + "\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

void os_message_box(const std::wstring& title, const std::wstring& text) {
    if (!os_is_noninteractive_session() && ui_message_box(title, text)) return;
    std::string out = os_to_narrow_lossy(title) + "\n" + os_to_narrow_lossy(text) + "\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}
