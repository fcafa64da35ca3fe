// The endpoint platform's access protection: a component outside this program that guards the
// installed agent's folders. Before writing there a process asks it for a temporary exception
// bound to the calling process and thread. Where the component is absent the calls do nothing,
// and writes succeed or fail on the folders' ordinary permissions.
#pragma once

#include <string>

struct os_access_protection;

// Registers the calling process and thread with the component; null when it is absent or
// refuses. Open, allow and close run on one thread.
os_access_protection* os_access_protection_open();

// Asks that the calling thread may write `path` (UTF-8) until the session closes. Not checked:
// the component's answer changes nothing for the caller. Ignores null.
void os_access_protection_allow(os_access_protection* session, const std::string& path);

// Withdraws everything granted through the session and releases it. Accepts null.
void os_access_protection_close(os_access_protection* session);
