// Facts about the process and its session: rights, interactivity, system version, language,
// and the command line.
#pragma once

#include <string>
#include <vector>

// The caller may install software for the whole machine (Administrators; effective uid 0).
bool os_is_administrator();

// No person is watching: the service-session case. On POSIX, standard input or output is not a
// terminal (deployment tools, cron, systemd, ssh without a terminal, redirected output).
bool os_is_noninteractive_session();

struct os_version {
    unsigned major = 0;
    unsigned minor = 0;
};
bool os_get_version(os_version* out);

// Whether this is an embedded edition of the system, which names hosts only by IPv4 addresses.
// Unknown when the system cannot tell (its version record cannot be read or has no edition).
enum os_embedded_answer { OS_EMBEDDED_UNKNOWN = 0, OS_EMBEDDED_NO = 1, OS_EMBEDDED_YES = 2 };
os_embedded_answer os_embedded_system();

// The user's default locale as a Windows locale id (1033 for English and for C/POSIX).
unsigned os_user_lcid();

// Remembered by the program entry; read back as wide arguments, argument 0 first.
void os_remember_arguments(int argc, char** argv);

struct os_argument {
    std::wstring text;       // the argument; when it cannot be converted, its bytes shown (\xNN)
    bool converted = true;   // false: the locale cannot express it, and `text` is not the argument
};
// False when nothing was remembered. An argument that cannot be converted is marked, never
// dropped, so that the caller can refuse the command line instead of misreading it.
bool os_get_arguments(std::vector<os_argument>& out);
