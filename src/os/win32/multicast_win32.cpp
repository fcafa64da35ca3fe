#include "os/multicast.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace {
int set_ipv6_option(SOCKET socket, int option, int value, int* error) {
    DWORD data = static_cast<DWORD>(value);
    int result = setsockopt(socket, IPPROTO_IPV6, option, reinterpret_cast<const char*>(&data), sizeof data);
    if (result != 0 && error) *error = WSAGetLastError();
    return result;
}
}   // namespace

int os_set_ipv6_multicast_sending(uv_os_fd_t socket, unsigned interface_index, int loop, int hops, int* error) {
    auto s = reinterpret_cast<SOCKET>(socket);
    int result = set_ipv6_option(s, IPV6_MULTICAST_IF, static_cast<int>(interface_index), error);
    if (result == 0) result = set_ipv6_option(s, IPV6_MULTICAST_LOOP, loop, error);
    if (result == 0) result = set_ipv6_option(s, IPV6_MULTICAST_HOPS, hops, error);
    return result;
}
