#include "download/peer_road.h"

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "clients/p2p/qz_p2p_client_content_discovery.h"
#include "clients/udp/qz_udp_request.h"
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

// Holds the handle to the peer limits while the road runs; the repository road after it gets the
// handle with the defaults again.
class peer_limits_scope {
public:
    explicit peer_limits_scope(transfer_handle* handle) : handle_(handle) {
        set_transfer_limits(handle_, &peer_limits);
    }
    ~peer_limits_scope() { set_transfer_limits(handle_, nullptr); }
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
// together and torn down in the fixed order (stop, join, release, then the records).
class peer_network {
public:
    peer_network() {
        host_ = qz_loop_worker_create();
        if (!host_) return;
        context_.reset(new qz_net_context{nullptr, qz_loop_host_loop(host_), qz_loop_host_worker(host_)});
        if (!context_ || qz_p2p_client_create(context_.get(), &client_) != 0) return;
        qz_loop_worker_start(host_);
    }
    ~peer_network() {
        if (host_) {
            qz_loop_worker_stop(host_);
            qz_loop_worker_join(host_);
            qz_loop_worker_release(host_);
        }
        context_.reset();
        qz_p2p_client_release(client_);
    }
    peer_network(const peer_network&) = delete;
    peer_network& operator=(const peer_network&) = delete;

    // 0 and the URL of a peer that holds the file, or the discovery's failure code (1 when the
    // network could not be set up).
    int discover(uint16_t port, const char* digest, std::wstring& url) {
        url.clear();
        char* found = nullptr;
        int rc = qz_p2p_client_discover_content(client_, port, digest, &found);
        if (rc == 0 && found && !os_to_wide(std::string(found), url)) url.clear();
        qz_p2p_client_free_url(found);
        return rc;
    }

private:
    qz_loop_host* host_ = nullptr;
    std::unique_ptr<qz_net_context> context_;
    qz_p2p_client* client_ = nullptr;
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

bool fetch_one(peer_network& peers, uint16_t port, transfer_handle* handle, const std::wstring& folder,
               const hash_entry& entry, run_context* ctx) {
    std::wstring name;
    os_to_wide(std::string(entry.file_name), name);
    log_message(SEV_INFO, L"[P2P] Discovering %ls ", name.c_str());
    std::wstring discovered;
    int rc = peers.discover(port, entry.digest, discovered);
    if (rc != 0 || discovered.empty()) {
        log_message(SEV_DEBUG, L"[P2P] Discovery of %ls failed in P2P cache. rc<%d>", name.c_str(), rc != 0 ? 1 : 0);
        return false;
    }
    log_message(SEV_INFO, L"Discovered p2p path:%ls", discovered.c_str());
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
bool is_configuration_entry(const hash_entry& entry) {
    if (!names_configuration_file(entry.file_name)) return false;
    log_message(SEV_WARNING, L"[P2P] " OS_NARROW_S L" is a configuration file and is not fetched from peers",
                entry.file_name);
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
    for (const hash_entry* entry = manifest; entry; entry = entry->next) {
        if (is_configuration_entry(*entry)) continue;
        if (!fetch_one(peers, port, handle, folder, *entry, ctx)) return PEER_ROAD_FAILED;
    }
    return PEER_ROAD_DELIVERED;
}
