#include "download/peer_road.h"

#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "clients/p2p/qz_p2p_client_content_discovery.h"
#include "clients/udp/qz_udp_request.h"
#include "clients/udp/qz_udp_socket_pool.h"
#include "clients/udp/qz_udp_utils.h"
#include "config/hash_manifest.h"
#include "core/file_digest.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_context.h"
#include "core/work_folder.h"
#include "download/config_package.h"
#include "download/proxy_record.h"
#include "download/transfer.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/contained_name.h"
#include "utils/event_loop/qz_loop_worker.h"

namespace {
constexpr uint16_t default_p2p_port = 8082;

// A peer is another machine of the network, not a server the run trusts: it may answer with an
// endless body, trickle, announce gigabytes and stall, or redirect the installer to a local
// service. No install file is near 1 GiB, and a peer on the local network that cannot keep
// 16 KiB/s for 30 s is better left for the repositories.
constexpr transfer_limits peer_limits = {false, 1024LL * 1024 * 1024, 16 * 1024, 30};

// Holds the handle to the peer limits while the road runs, and has each file hashed while it
// arrives (its check then reads nothing); the repository road after it gets the handle with the
// defaults again.
class peer_limits_scope {
public:
    explicit peer_limits_scope(transfer_handle* handle) : handle_(handle) {
        set_transfer_limits(handle_, &peer_limits);
        set_transfer_digest(handle_, true);
    }
    ~peer_limits_scope() {
        set_transfer_limits(handle_, nullptr);
        set_transfer_digest(handle_, false);
    }
    peer_limits_scope(const peer_limits_scope&) = delete;
    peer_limits_scope& operator=(const peer_limits_scope&) = delete;

private:
    transfer_handle* handle_;
};

// The UDP port of the peers' discovery service: option slot 15, or 8082 when it is empty. A
// value that is no port gives 0, which every discovery refuses, so the road fails at its first
// file.
uint16_t p2p_port() {
    const char* text = get_option_utf8(OPT_P2P_PORT);
    if (!text || !*text) return default_p2p_port;
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value == 0 || value > 65535 || text[0] == '-' || text[0] == '+') {
        log_message(SEV_ERROR, L"P2P port " OS_NARROW_S L" is not a port number", text);
        return 0;
    }
    return static_cast<uint16_t>(value);
}

// The peer network of one road: a loop worker, its network context and the P2P client, set up
// together and torn down in the fixed order (sockets, stop, join, release, then the records).
// The interfaces are read once and the sockets kept for all the lookups of the road; without
// them (none up, or the system cannot be asked) each lookup reads them itself, and fails as it
// always did.
class peer_network {
public:
    peer_network() {
        host_ = qz_loop_worker_create();
        if (!host_) return;
        context_.reset(new qz_net_context{nullptr, qz_loop_host_loop(host_), qz_loop_host_worker(host_)});
        if (!context_) return;
        if (get_network_interfaces(&interfaces_) == 0 && interfaces_.count > 0) context_->interfaces = &interfaces_;
        if (qz_udp_socket_pool_create(context_->worker, &sockets_) == 0) context_->sockets = sockets_;
        if (qz_p2p_client_create(context_.get(), &client_) != 0) return;
        qz_loop_worker_start(host_);
    }
    ~peer_network() {
        qz_udp_socket_pool_release(sockets_);   // on the loop thread, while it still runs
        if (host_) {
            qz_loop_worker_stop(host_);
            qz_loop_worker_join(host_);
            qz_loop_worker_release(host_);
        }
        context_.reset();
        qz_p2p_client_release(client_);
        free_network_interfaces(&interfaces_);
    }

    // Ends a lookup running on another thread, and every later one.
    void cancel() { qz_p2p_client_cancel(client_); }
    peer_network(const peer_network&) = delete;
    peer_network& operator=(const peer_network&) = delete;

    // Queues the lookup of `digest`: 0, and `found` reports on the loop thread; else the
    // refusal (1 when the network could not be set up), and nothing reports.
    int discover_async(uint16_t port, const char* digest, qz_p2p_found_fn found, void* user_data) {
        return qz_p2p_client_discover_content_async(client_, port, digest, found, user_data);
    }

private:
    qz_loop_host* host_ = nullptr;
    std::unique_ptr<qz_net_context> context_;
    qz_p2p_client* client_ = nullptr;
    network_interface_list interfaces_{};
    qz_udp_socket_pool* sockets_ = nullptr;
};

// The lookup of the next file, run on the loop worker while the current one downloads, so that
// a road of many files does not wait for each lookup in turn. Its result is only taken (and
// logged) when the road reaches that file. A lookup that cannot be queued has its refusal
// taken like any result.
class lookahead {
public:
    lookahead(peer_network& peers, uint16_t port) : peers_(peers), port_(port) {}
    // Ends a lookup still under way (the road has ended without its file); its report comes
    // before the cancel returns.
    ~lookahead() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!asked_) return;
        lock.unlock();
        peers_.cancel();
        lock.lock();
        changed_.wait(lock, [this] { return !asked_; });
    }
    lookahead(const lookahead&) = delete;
    lookahead& operator=(const lookahead&) = delete;

    void start(const hash_entry* entry) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            asked_ = true;
        }
        int rc = peers_.discover_async(port_, entry->digest, found, this);
        if (rc != 0) found(rc, nullptr, this);
    }

    // The result of the lookup started last, once it has ended.
    int take(std::wstring& url) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return !asked_; });
        url.swap(url_);
        url_.clear();
        return rc_;
    }

private:
    // On the loop thread, or on the road's when the lookup was refused.
    static void found(int rc, const char* url, void* data) {
        auto* self = static_cast<lookahead*>(data);
        std::wstring wide;
        if (rc == 0 && url && !os_to_wide(std::string(url), wide)) wide.clear();
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->rc_ = rc;
        self->url_.swap(wide);
        self->asked_ = false;
        self->changed_.notify_all();
    }

    peer_network& peers_;
    uint16_t port_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool asked_ = false;   // a lookup is under way
    int rc_ = 0;
    std::wstring url_;
};

// The peer's URL as libcurl takes it: IPv6 hosts bracketed, and a "%<scope>]" zone turned
// into the handle's scope id.
std::string prepare_peer_url(transfer_handle* handle, const std::wstring& discovered) {
    std::wstring url = discovered;
    if (url.find(L'.') == std::wstring::npos) {
        size_t percent = url.find(L'%');
        if (percent != std::wstring::npos) {
            long scope = std::wcstol(url.c_str() + percent + 1, nullptr, 10);
            log_message(SEV_INFO, L"Scope id  %d", static_cast<int>(scope));
            set_transfer_scope_id(handle, scope);
        }
        wchar_t formatted[transfer_url_capacity] = {};
        format_ipv6_url(url.c_str(), formatted);
        if (formatted[0]) {
            log_message(SEV_INFO, L"Discovered p2p path after ipv6 format for curl:%ls", formatted);
            url = formatted;
        }
    }
    std::string narrow;
    os_to_narrow(url, narrow);
    return narrow;
}

// The lines of a lookup whose result the road has reached, in the order a lookup made then
// would have written them. False when no peer holds the file.
bool log_lookup(const std::wstring& name, int rc, const std::wstring& discovered) {
    log_message(SEV_INFO, L"[P2P] Discovering %ls ", name.c_str());
    if (rc != 0 || discovered.empty()) {
        log_message(SEV_DEBUG, L"[P2P] Discovery of %ls failed in P2P cache. rc<%d>", name.c_str(), rc != 0 ? 1 : 0);
        return false;
    }
    log_message(SEV_INFO, L"Discovered p2p path:%ls", discovered.c_str());
    return true;
}

// The file from the peer that was found for it, checked against its entry. The digest was
// computed while the file arrived (the handle hashes peer downloads), so the check reads nothing.
bool fetch_one(transfer_handle* handle, const std::wstring& folder, const hash_entry& entry, const std::wstring& name,
               const std::wstring& discovered, run_context* ctx) {
    std::string url = prepare_peer_url(handle, discovered);
    // Peers are on the local network: never through the road's proxy or relay.
    if (apply_route(handle, nullptr) == 0) log_message(SEV_INFO, L"User agent information successfully set");

    std::wstring target = folder + OS_SEP_S + name;
    std::string narrow_target;
    os_to_narrow(target, narrow_target);
    long code = 0;
    // Without resume the transfer layer keeps error pages; a peer's 404 is not the file.
    int result = transfer_file(handle, url.c_str(), narrow_target.c_str(), 0, "", &code, 0);
    if (result != 0 || code != 200) {
        // Whatever the peer sent is not the file: it must not stay to be taken for one later.
        os_delete_file(target);
        if (result != 0)
            log_message(SEV_WARNING, L"[P2P] Download of %ls from the peer failed: error %d", name.c_str(), result);
        log_message(SEV_DEBUG, L"[P2P] P2P download returned %d", static_cast<int>(code));
        return false;
    }
    if (!verify_file_digest(target.c_str(), entry.digest)) {
        log_message(SEV_DEBUG, L"[P2P] Hash verification of %ls failed", name.c_str());
        on_download_event(target.c_str(), EVENT_FILE_VERIFY_FAILED, ctx);
        os_delete_file(target);   // a peer's wrong file must not wait in the work folder
        return false;
    }
    log_message(SEV_INFO, L"[P2P] P2p download and hash verification of %ls succeeded", name.c_str());
    on_download_event(target.c_str(), EVENT_FILE_VERIFIED, ctx);
    return true;
}

// The configuration package's own files are in place already and decide what is trusted: a
// peer never writes them.
bool is_configuration_entry(const hash_entry& entry) { return names_configuration_file(entry.file_name); }

void log_configuration_entry(const hash_entry& entry) {
    log_message(SEV_WARNING, L"[P2P] " OS_NARROW_S L" is a configuration file and is not fetched from peers",
                entry.file_name);
}

// The first entry from `entry` on that peers are asked for; null at the end.
const hash_entry* next_fetched(const hash_entry* entry) {
    while (entry && is_configuration_entry(*entry)) entry = entry->next;
    return entry;
}

// The road's walk: each file's lookup result is taken when the road reaches it, and the lookup
// of the next file runs while this one downloads.
bool fetch_all(peer_network& peers, uint16_t port, transfer_handle* handle, const std::wstring& folder,
               const hash_entry* manifest, run_context* ctx) {
    lookahead ahead(peers, port);
    const hash_entry* target = next_fetched(manifest);
    if (target) ahead.start(target);
    for (const hash_entry* entry = manifest; entry; entry = entry->next) {
        if (entry != target) {
            log_configuration_entry(*entry);
            continue;
        }
        std::wstring name, discovered;
        os_to_wide(std::string(entry->file_name), name);
        int rc = ahead.take(discovered);
        if (!log_lookup(name, rc, discovered)) return false;
        target = next_fetched(entry->next);
        if (target) ahead.start(target);
        if (!fetch_one(handle, folder, *entry, name, discovered, ctx)) return false;   // `ahead` ends its lookup
    }
    return true;
}
}   // namespace

peer_road_result fetch_install_files_from_peers(transfer_handle* handle, const wchar_t* work_folder, run_context* ctx,
                                                proxy_record* route) {
    log_message(SEV_INFO, L"Try to get install files via p2p mechanism with the selected top level - %d - mechanism",
                route ? route->route_kind : 0);
    // Without a work folder there is no place for the files: "/" is not ours to write.
    std::wstring folder = work_folder ? work_folder : L"";
    const hash_entry* manifest = ctx ? ctx->manifest.get() : nullptr;
    if (folder.empty() || !manifest) return PEER_ROAD_NO_MANIFEST;
    uint16_t port = p2p_port();
    peer_limits_scope limits(handle);
    peer_network peers;
    return fetch_all(peers, port, handle, folder, manifest, ctx) ? PEER_ROAD_DELIVERED : PEER_ROAD_FAILED;
}
