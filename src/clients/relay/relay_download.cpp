#include "clients/relay/relay_download.h"

#include <memory>
#include <string>

#include "clients/relay/qz_relay_discovery_request.h"
#include "clients/relay/qz_relay_record.h"
#include "clients/udp/qz_udp_request.h"
#include "core/log.h"
#include "core/run_context.h"
#include "download/orchestration.h"
#include "download/proxy_record.h"
#include "os/text.h"
#include "utils/event_loop/qz_loop_worker.h"
#include "utils/qz_status.h"
#include "utils/qz_value.h"

namespace {

struct value_releaser {
    void operator()(qz_value* value) const noexcept { qz_value_release(value); }
};
using value_ptr = std::unique_ptr<qz_value, value_releaser>;

// The relay road's peer network: a loop worker, its network context and the discovery request,
// set up together and torn down in the fixed order (stop, join, release, then the records).
// The relays found stay with the client while the road tries them.
class relay_client {
public:
    relay_client() {
        host_ = qz_loop_worker_create();
        if (!host_) return;
        context_.reset(new qz_net_context{nullptr, qz_loop_host_loop(host_), qz_loop_host_worker(host_)});
        if (qz_relay_discovery_request_create(context_.get(), &request_) != QZ_OK) return;
        qz_loop_worker_start(host_);
    }
    ~relay_client() {
        if (host_) {
            qz_loop_worker_stop(host_);
            qz_loop_worker_join(host_);
            qz_loop_worker_release(host_);
        }
        qz_relay_discovery_request_release(request_);
    }
    relay_client(const relay_client&) = delete;
    relay_client& operator=(const relay_client&) = delete;

    // Runs the discovery with the road's settings; the number of relays found.
    size_t discover() {
        if (!request_) return 0;
        qz_relay_discovery_request_set_group_address(request_, qz_relay_group_address);
        qz_relay_discovery_request_set_port(request_, qz_relay_msgbus_port);
        qz_relay_discovery_request_set_max_relays(request_, qz_relay_max_relays);
        qz_relay_discovery_request_set_timeout(request_, qz_relay_pass_timeout_ms);
        qz_relay_discovery_request_set_synchronous(request_, 1);
        qz_relay_discovery_request_send(request_);
        relays_.reset(qz_relay_discovery_request_relays(request_));
        next_ = 1;
        return qz_value_array_size(relays_.get());
    }

    // The next relay of the list, in the order they answered; false after the last. A record
    // that cannot be read comes back without a server.
    bool next(qz_relay_record* record) {
        qz_value* item = nullptr;
        if (qz_value_array_get(relays_.get(), next_, &item) != QZ_OK) return false;
        ++next_;
        *record = qz_relay_record{};
        if (qz_relay_record_from_table(item, record) != QZ_OK) record->server.clear();
        return true;
    }

private:
    qz_loop_host* host_ = nullptr;
    std::unique_ptr<qz_net_context> context_;
    qz_relay_discovery_request* request_ = nullptr;
    value_ptr relays_;
    size_t next_ = 1;
};

// The relay as the route's proxy. A bracketed IPv6 server keeps the scope id of the interface
// that heard it, so that a link-local relay (fe80::) can be reached at all. False when the
// server text does not fit the route.
bool route_through(proxy_record* route, const qz_relay_record& relay) {
    *route = proxy_record{};
    if (relay.server.empty() || !set_proxy_host(route, relay.server.c_str(), relay.server_port)) return false;
    route->route_kind = ROUTE_RELAY;
    if (relay.server[0] == '[') {
        route->ipv6 = 1;
        route->scope_id = static_cast<int32_t>(relay.nic_scope_id);
    }
    return true;
}

// One relay: 1 when both packages came through it.
int download_through(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder, proxy_record* route,
                     const qz_relay_record& relay) {
    std::wstring host = os_to_wide_shown(relay.server);
    if (!route_through(route, relay)) {
        log_message(SEV_INFO, L"[Relay] Unable to download via Relay IP %ls", host.c_str());
        return 0;
    }
    log_message(SEV_INFO, L"[Relay] Trying to download via Relay IP %ls and port %d", host.c_str(),
                static_cast<int>(route->port));
    if (download_packages(ctx, config_url, work_folder, route)) return 1;
    log_message(SEV_INFO, L"[Relay] Unable to download via Relay IP %ls", host.c_str());
    *route = proxy_record{};
    return 0;
}

}   // namespace

int download_via_relay(run_context* ctx, const wchar_t* config_url, const wchar_t* work_folder) {
    auto route = std::make_unique<proxy_record>();
    relay_client client;
    if (client.discover() == 0) {
        log_message(SEV_INFO, L"[Relay] Unable to discover any relay in the network");
        return 0;
    }
    qz_relay_record relay;
    while (client.next(&relay)) {
        if (download_through(ctx, config_url, work_folder, route.get(), relay)) return 1;
        // Cancel ends the road: the remaining relays would each fail at once anyway.
        if (run_cancelled(ctx)) return 0;
    }
    return 0;
}
