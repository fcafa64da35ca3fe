// No endpoint platform component guards folders on POSIX: there is never a session.
#include "os/access_protection.h"

os_access_protection* os_access_protection_open() { return nullptr; }

void os_access_protection_allow(os_access_protection*, const std::string&) {}

void os_access_protection_close(os_access_protection*) {}
