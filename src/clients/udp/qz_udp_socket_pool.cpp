#include "clients/udp/qz_udp_socket_pool.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "clients/udp/qz_udp_publisher.h"
#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_status.h"

struct qz_udp_socket_pool {
    qz_loop_worker* worker = nullptr;
    std::vector<qz_udp_publisher*> sockets;   // loop thread only; idle and lent alike
};

namespace {
bool same_kind(const qz_udp_publisher* publisher, bool ipv6, uint32_t scope_id, const char* broadcast_address) {
    if (publisher->ipv6 != ipv6) return false;
    if (ipv6) return publisher->scope_id == scope_id;
    return std::strcmp(publisher->broadcast_address, broadcast_address ? broadcast_address : "") == 0;
}

void close_all(void* data) {
    auto* pool = static_cast<qz_udp_socket_pool*>(data);
    for (qz_udp_publisher* publisher : pool->sockets) qz_udp_publisher_close(publisher);
    pool->sockets.clear();
}
}   // namespace

int qz_udp_socket_pool_create(qz_loop_worker* worker, qz_udp_socket_pool** pool) {
    if (!worker || !pool) return QZ_ERR_MISSING_ARGUMENT;
    *pool = new (std::nothrow) qz_udp_socket_pool;
    if (!*pool) return QZ_ERR_NO_MEMORY;
    (*pool)->worker = worker;
    return QZ_OK;
}

void qz_udp_socket_pool_release(qz_udp_socket_pool* pool) {
    if (!pool) return;
    // A worker that takes no more work cannot close them, and no other thread may: they are
    // left to the loop's end.
    if (!pool->sockets.empty() && qz_loop_worker_submit_work_and_wait(pool->worker, close_all, pool) != QZ_OK)
        pool->sockets.clear();
    delete pool;
}

qz_udp_publisher* qz_udp_socket_pool_take(qz_udp_socket_pool* pool, bool ipv6, uint32_t scope_id,
                                          const char* broadcast_address) {
    if (!pool) return nullptr;
    for (qz_udp_publisher* publisher : pool->sockets)
        if (!publisher->lent && !publisher->sending && same_kind(publisher, ipv6, scope_id, broadcast_address)) {
            publisher->lent = true;
            return publisher;
        }
    return nullptr;
}

bool qz_udp_socket_pool_keep(qz_udp_socket_pool* pool, qz_udp_publisher* publisher) {
    if (!pool || !publisher) return false;
    if (std::find(pool->sockets.begin(), pool->sockets.end(), publisher) == pool->sockets.end()) {
        try {
            pool->sockets.push_back(publisher);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    qz_udp_publisher_park(publisher);
    publisher->lent = false;
    return true;
}

size_t qz_udp_socket_pool_size(const qz_udp_socket_pool* pool) { return pool ? pool->sockets.size() : 0; }
