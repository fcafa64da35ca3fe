// The endpoint platform's access-protection component is not part of this product's Windows
// edition either: there is never a session, and the moves of installer files succeed or fail
// on the folders' own access rules.
#include "os/access_protection.h"

os_access_protection* os_access_protection_open() { return nullptr; }

void os_access_protection_allow(os_access_protection*, const std::string&) {}

void os_access_protection_close(os_access_protection*) {}
