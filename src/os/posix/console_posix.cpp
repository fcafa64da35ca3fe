#include "os/console.h"
#include "os/posix/terminal_posix.h"
#include "os/text.h"

#include <cstdio>
#include <string>

void os_console_write(const std::wstring& text) {
    std::string narrow = os_to_narrow_lossy(text);
    // While a progress screen owns the terminal, console lines go above its bar.
    if (terminal::print_above_screen(narrow)) return;
    std::fwrite(narrow.data(), 1, narrow.size(), stdout);
    std::fflush(stdout);
}
