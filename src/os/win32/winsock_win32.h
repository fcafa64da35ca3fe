// Winsock must be started before the first resolver or socket call; libuv and libcurl start it
// for themselves, but the host name is asked before either runs.
#pragma once

// Starts Winsock once for the process (never stopped: it lives as long as the process). False
// when it cannot be started.
bool winsock_ready();
