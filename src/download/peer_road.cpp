#include "download/peer_road.h"

#include <cstdlib>
#include <cwchar>
#include <memory>
#include <string>

#include "bootstrap/log.h"
#include "bootstrap/work_folder.h"
#include "config/hash_manifest.h"
#include "download/config_package.h"
#include "download/proxy_record.h"
#include "download/transfer.h"
#include "os/paths.h"
#include "os/text.h"

namespace {
struct manifest_releaser {
    void operator()(hash_entry* entries) const noexcept { free_hash_entries(entries); }
};

// Asks the local network which peer holds the file with this digest. Peer discovery is not
// available in this build: no peer ever answers, so the road fails at its first file.
int discover_peer_url(const char* /*digest*/, std::wstring& url) {
    url.clear();
    return 1;
}

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

bool fetch_one(transfer_handle* handle, const std::wstring& folder, const hash_entry& entry, run_context* ctx,
               const proxy_record* route) {
    std::wstring name;
    os_to_wide(std::string(entry.file_name), name);
    log_message(SEV_INFO, L"[P2P] Discovering %ls ", name.c_str());
    std::wstring discovered;
    int rc = discover_peer_url(entry.digest, discovered);
    if (rc != 0 || discovered.empty()) {
        log_message(SEV_DEBUG, L"[P2P] Discovery of %ls failed in P2P cache. rc<%d>", name.c_str(), rc != 0 ? 1 : 0);
        return false;
    }
    log_message(SEV_INFO, L"Discovered p2p path:%ls", discovered.c_str());
    std::string url = prepare_peer_url(handle, discovered);
    if (apply_route(handle, route) == 0) log_message(SEV_INFO, L"User agent information successfully set");

    std::wstring target = folder + OS_SEP_S + name;
    std::string narrow_target;
    os_to_narrow(target, narrow_target);
    long code = 0;
    if (transfer_file(handle, url.c_str(), narrow_target.c_str(), 0, "", &code, 0) != 0) {
        log_message(SEV_DEBUG, L"[P2P] P2P download returned %d", static_cast<int>(code));
        return false;
    }
    if (!verify_file_digest(target.c_str(), entry.digest)) {
        log_message(SEV_DEBUG, L"[P2P] Hash verification of %ls failed", name.c_str());
        on_download_event(target.c_str(), EVENT_FILE_VERIFY_FAILED, ctx);
        return false;
    }
    log_message(SEV_INFO, L"[P2P] P2p download and hash verification of %ls succeeded", name.c_str());
    on_download_event(target.c_str(), EVENT_FILE_VERIFIED, ctx);
    return true;
}
}  // namespace

peer_road_result fetch_install_files_from_peers(transfer_handle* handle, const wchar_t* work_folder,
                                                run_context* ctx, proxy_record* route) {
    log_message(SEV_INFO, L"Try to get install files via p2p mechanism with the selected top level - %d - mechanism",
                route ? route->route_kind : 0);
    std::wstring folder = work_folder ? work_folder : L"";
    std::unique_ptr<hash_entry, manifest_releaser> manifest(
        read_hash_manifest((folder + OS_SEP_S L"hashes.xml").c_str()));
    if (!manifest) return PEER_ROAD_NO_MANIFEST;
    for (const hash_entry* entry = manifest.get(); entry; entry = entry->next) {
        if (!fetch_one(handle, folder, *entry, ctx, route)) return PEER_ROAD_FAILED;
    }
    return PEER_ROAD_DELIVERED;
}
