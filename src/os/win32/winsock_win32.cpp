#include "os/win32/winsock_win32.h"

#include <winsock2.h>

bool winsock_ready() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}
