// Error lines and message boxes, the same on every platform: a box where a person can answer
// it, standard error otherwise.
#include <cstdio>
#include <string>

#include "os/console.h"
#include "os/session.h"
#include "os/text.h"
#include "os/user_interface.h"

void os_console_error(const std::string& line) {
    std::string out = line + "\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}

// In session 0 nobody can answer a box: the text goes to standard error instead, where the
// deployment tool that started the run finds it.
void os_message_box(const std::wstring& title, const std::wstring& text) {
    if (!os_is_noninteractive_session() && ui_message_box(title, text)) return;
    std::string out = os_to_narrow_lossy(title) + "\n" + os_to_narrow_lossy(text) + "\n";
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
}
