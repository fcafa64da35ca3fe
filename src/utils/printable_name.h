// Names from outside (zip entries) shown in the log and on the terminal without letting them
// act: a line feed would forge a log line of its own, an escape sequence would drive the
// terminal.
#pragma once

#include <string>

// True when `name` holds a C0 control character, DEL, or a C1 control written in UTF-8
// (U+0080..U+009F, which terminals may take as escape sequences).
bool has_control_characters(const char* name);

// `name` with every such character written as "\xHH" (each byte of a C1 character likewise);
// everything else unchanged.
std::string printable_name(const char* name);
