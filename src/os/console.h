// Console output and message boxes.
#pragma once

#include <string>

// Writes wide text to standard output in the user's code page.
void os_console_write(const std::wstring& text);

// Shows a message box with one OK button and returns when it is closed. Without a person to
// answer (non-interactive session) the box is written to standard error and returns at once.
void os_message_box(const std::wstring& title, const std::wstring& text);
