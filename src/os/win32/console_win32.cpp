#include "os/console.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "os/text.h"

void os_console_write(const std::wstring& text) {
    std::string narrow = os_to_narrow_lossy(text);
    std::fwrite(narrow.data(), 1, narrow.size(), stdout);
    std::fflush(stdout);
}
