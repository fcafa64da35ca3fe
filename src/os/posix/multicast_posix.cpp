#include "os/multicast.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <cerrno>

namespace {

int set_ipv6_option(int socket, int option, int value, int* error) {
    int result = setsockopt(socket, IPPROTO_IPV6, option, &value, sizeof value);
    if (result != 0 && error) *error = errno;
    return result;
}

}   // namespace

int os_set_ipv6_multicast_sending(uv_os_fd_t socket, unsigned interface_index, int loop, int hops, int* error) {
    int result = set_ipv6_option(socket, IPV6_MULTICAST_IF, static_cast<int>(interface_index), error);
    if (result == 0) result = set_ipv6_option(socket, IPV6_MULTICAST_LOOP, loop, error);
    if (result == 0) result = set_ipv6_option(socket, IPV6_MULTICAST_HOPS, hops, error);
    return result;
}
