// Multicast options of a UDP socket that libuv does not offer by interface index.
#pragma once

#include <uv.h>

// Sets, at the IPv6 level and each as a 4-byte integer: the outgoing multicast interface (an
// interface index, the scope id of the interface's addresses), whether the socket's own
// datagrams loop back, and the multicast hop limit. Stops at the first refusal.
// 0 when all three were set; else the refused call's result, with the system's error number in
// *error.
int os_set_ipv6_multicast_sending(uv_os_fd_t socket, unsigned interface_index, int loop, int hops, int* error);
