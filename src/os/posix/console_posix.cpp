#include "os/console.h"
#include "os/session.h"
#include "os/text.h"

#include <cstdio>
#include <string>

void os_console_write(const std::wstring& text) {
    std::string narrow = os_to_narrow_lossy(text);
    std::fwrite(narrow.data(), 1, narrow.size(), stdout);
    std::fflush(stdout);
}

void os_message_box(const std::wstring& title, const std::wstring& text) {
    std::string out = os_to_narrow_lossy(title) + "\n" + os_to_narrow_lossy(text) + "\n";
    bool interactive = !os_is_noninteractive_session();
    if (interactive) out += "[OK: press Enter]\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
    if (interactive) {
        int c;
        while ((c = std::getchar()) != EOF && c != '\n') {
        }
    }
}
