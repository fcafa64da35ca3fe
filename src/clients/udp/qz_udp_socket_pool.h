// Socket pool: the publishers' sockets kept between the requests of one road, so that a road of
// a thousand lookups does not make, bind, configure and close two thousand sockets. A request
// whose context lends a pool takes an idle socket of the same kind (IPv6 on the same scope id,
// or IPv4 for the same broadcast address) instead of making one, and hands it back when it
// stops; the socket keeps receiving while it waits, and drops what arrives (a late reply to an
// earlier lookup is not taken for an answer to the next).
//
// Threads: created and released by the owner's thread; taking and handing back happen on the
// loop thread, inside the request's run and stop. Release before the loop worker stops:
//   qz_udp_socket_pool* pool = nullptr;
//   qz_udp_socket_pool_create(worker, &pool);
//   context.sockets = pool;              // every request of the road
//   ...
//   qz_udp_socket_pool_release(pool);    // closes the sockets on the loop thread
//   qz_loop_worker_stop(host);
#pragma once

#include <cstddef>
#include <cstdint>

struct qz_loop_worker;
struct qz_udp_publisher;
struct qz_udp_socket_pool;

// 0 and an empty pool; 1 missing argument; 4 out of memory.
int qz_udp_socket_pool_create(qz_loop_worker* worker, qz_udp_socket_pool** pool);

// Closes every kept socket on the loop thread, waits for that, and frees the pool. Accepts null.
void qz_udp_socket_pool_release(qz_udp_socket_pool* pool);

// Loop thread. An idle socket for that kind whose last send has completed, now lent out; null
// when there is none. `broadcast_address` is compared for IPv4 only.
qz_udp_publisher* qz_udp_socket_pool_take(qz_udp_socket_pool* pool, bool ipv6, uint32_t scope_id,
                                          const char* broadcast_address);

// Loop thread. Keeps a publisher whose request has stopped with it: it goes idle and may be
// lent again. False when the pool cannot keep it (no memory): the caller closes it.
bool qz_udp_socket_pool_keep(qz_udp_socket_pool* pool, qz_udp_publisher* publisher);

// For diagnostics and tests: sockets kept (idle or lent).
size_t qz_udp_socket_pool_size(const qz_udp_socket_pool* pool);
