// Console output and message boxes.
#pragma once

#include <string>

// Writes wide text to standard output in the user's code page.
void os_console_write(const std::wstring& text);

// Writes one line of narrow text to standard error: why a run was refused before (or without)
// a log, for the administrator or deployment tool that started it.
void os_console_error(const std::string& line);

// Shows a message box with one OK button and returns when it is closed. Without a person to
// answer (non-interactive session) the box is written to standard error and returns at once.
void os_message_box(const std::wstring& title, const std::wstring& text);
