#include "install/agent_installer.h"

// Not built yet: no installer can be started.
int launch_agent_installer(const char*, const wchar_t*, const char*) { return 0; }
