#include "download/install_package.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "config/coninfo.h"
#include "config/hash_manifest.h"
#include "config/site_list.h"
#include "core/dialog.h"
#include "core/log.h"
#include "core/run_context.h"
#include "core/work_folder.h"
#include "download/config_package.h"
#include "download/host_forms.h"
#include "download/peer_road.h"
#include "download/proxy_record.h"
#include "download/transfer.h"
#include "install/agent_installer.h"
#include "install/zip_stream.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/bounded_text.h"

namespace {
constexpr int curl_http_error = 22;

// Unpacks the package while it downloads from its first byte (install/zip_stream.h), so that
// the extraction after the download finds most of its work done. The unpacking of a download
// that failed, or of a package that is never extracted, is undone.
class package_unpacker : public transfer_follower {
public:
    explicit package_unpacker(std::string target_dir) : target_dir_(std::move(target_dir)) {}
    ~package_unpacker() override { zip_stream_discard(stream_); }

    void started(const char* path) override {
        zip_stream_discard(stream_);
        // The installer programs are removed right before the extraction (and logged when
        // missing), so they are left to it.
        stream_ = zip_stream_start(path, target_dir_.c_str(), {agent_installer_file, "cleanup.exe"});
    }
    void flushed(uint64_t length) override { zip_stream_advance(stream_, length); }
    void ended(bool whole, uint64_t length) override {
        if (whole) {
            zip_stream_complete(stream_, length);
            return;
        }
        zip_stream_discard(stream_);
        stream_ = nullptr;
    }

    // The unpacking of the package that arrived last, for its extraction; null when none.
    zip_stream* ahead() const { return stream_; }
    // After the extraction, which took or removed every file it did not want; when it failed,
    // the files unpacked ahead go too.
    void extracted(bool whole) {
        if (whole)
            zip_stream_release(stream_);
        else
            zip_stream_discard(stream_);
        stream_ = nullptr;
    }

private:
    std::string target_dir_;
    zip_stream* stream_ = nullptr;
};

struct repository_road {
    repository_road(run_context* c, proxy_record* r, transfer_handle* h) : ctx(c), route(r), handle(h) {}
    run_context* ctx;
    proxy_record* route;
    transfer_handle* handle;
    std::wstring package;   // FrameworkInstall.zip in the work folder
    std::string narrow_package;
    std::wstring location;   // of the package below a site's relative path (PackageInfo.xml)
    bool location_known = false;
    site_record site{};
    std::wstring host_base;   // scheme and host of the current attempt
    long response_code = 0;
    package_unpacker* unpacker = nullptr;   // null when the package is not unpacked ahead
};

bool cancelled(run_context* ctx) { return on_download_event(nullptr, EVENT_QUERY_CANCEL, ctx) != 0; }

const wchar_t* scheme_of(const site_record& site) { return site.site_type == SITE_SBOLT ? L"https://" : L"http://"; }

std::wstring ip_host(const wchar_t* server_ip) {
    if (std::wcschr(server_ip, L'.')) return server_ip;
    wchar_t formatted[transfer_url_capacity] = {};
    format_ipv6_url(server_ip, formatted);
    return formatted;
}

void set_host_base(repository_road& r, const std::wstring& host) {
    std::wstring base = std::wstring(scheme_of(r.site)) + host;
    r.host_base = base.size() < path_capacity ? base : L"";
}

// scheme + host + "/" + relative path + location + "/FrameworkInstall.zip"; empty when the
// package's location is unknown or the URL would not fit.
std::string repository_url(const repository_road& r) {
    std::wstring url;
    if (!r.host_base.empty() && r.location_known)
        url = r.host_base + L"/" + r.site.relative_path + r.location + L"/" + L"FrameworkInstall.zip";
    std::string narrow;
    if (url.empty() || url.size() >= path_capacity || !os_to_narrow(url, narrow) || narrow.size() >= path_capacity) {
        log_message(SEV_ERROR, L"Unable to retrieve relative path of the site to download FrameworkInstall.zip");
        return {};
    }
    log_message(SEV_INFO, L"Downloading install file from %ls", url.c_str());
    return narrow;
}

bool package_arrived(int result, long code) {
    return (result == 0 && (code == 200 || code == 206 || code == 416)) || (result == curl_http_error && code == 416);
}

bool package_sent_whole(int result, long code) { return result == 0 && (code == 200 || code == 206 || code == 416); }

int transfer_package(repository_road& r, const std::string& url) {
    r.response_code = 0;
    if (url.empty()) return transfer_not_made;
    return transfer_trying_scopes(r.handle, r.route, url.c_str(), r.narrow_package.c_str(), 0, "", &r.response_code, 1,
                                  L"scope id to download from linklocal ip set to %d", package_sent_whole);
}

void log_outcome(const repository_road& r, int result) {
    const wchar_t* line = nullptr;
    if (result == 0 && r.response_code == 200)
        line = L"Downloaded install file Successfully";
    else if (result == 0 && r.response_code == 206)
        line = L"Downloaded install (Partial Content) file Successfully";
    else if ((result == 0 || result == curl_http_error) && r.response_code == 416)
        line = L"Install file is already downloaded";
    if (!line) return;
    log_message(SEV_INFO, line);
    log_message(SEV_INFO, L"Install file stored in %ls", r.package.c_str());
}

// A package that cannot be extracted goes, or every later attempt would resume it, be told it
// is complete (416) and fail again.
void drop_package(const repository_road& r) {
    if (os_delete_file(r.package))
        log_message(SEV_INFO, L"Deleted %ls: the next attempt downloads it whole", r.package.c_str());
}

// Extraction and verification of a package that arrived. 1 when its files are good.
int accept_package(repository_road& r, wchar_t* package_path) {
    r.ctx->install_unpacked_ahead = r.unpacker ? r.unpacker->ahead() : nullptr;
    int extracted = on_download_event(r.package.c_str(), EVENT_EXTRACT_INSTALL_PACKAGE, r.ctx);
    r.ctx->install_unpacked_ahead = nullptr;
    if (r.unpacker) r.unpacker->extracted(extracted != 0);
    if (!extracted) {
        drop_package(r);
        return 0;
    }
    if (verify_install_files(r.ctx->manifest.get(), agent_installer_file, r.ctx, on_download_event) == 1) {
        log_message(SEV_INFO, L"Hash verification for Framework install files succeeded");
        if (package_path) copy_text(package_path, path_capacity, r.package.c_str());
        return 1;
    }
    log_message(SEV_WARNING, L"Hash verification for Framework install files failed, continue with another site.");
    os_delete_file(r.package);
    return 0;
}

bool move_to_next_site(repository_road& r, site_record* list) {
    log_message(SEV_INFO, L"Finding another site to download the required install file");
    if (!next_site(list, &r.site)) {
        log_message(SEV_INFO, L"Unable to find another valid site to download install file");
        log_message(SEV_INFO, L"Download of install file failed");
        return false;
    }
    r.host_base.clear();
    log_message(SEV_INFO, L"Trying to download install file from the next site");
    return true;
}

int end_on_cancel(int success) {
    log_message(SEV_INFO, L"Download is aborted by user");
    if (!success) log_message(SEV_INFO, L"Download of install file failed");
    return success;
}

enum class road_step { delivered, cancelled, next_form, next_site };

// One attempt at the current host base.
road_step attempt(repository_road& r, wchar_t* package_path) {
    std::string url = repository_url(r);
    if (cancelled(r.ctx)) {
        end_on_cancel(0);
        return road_step::cancelled;
    }
    int result = transfer_package(r, url);
    log_outcome(r, result);
    if (package_arrived(result, r.response_code))
        return accept_package(r, package_path) ? road_step::delivered : road_step::next_site;
    if (r.response_code == 416) return road_step::next_site;
    log_message(SEV_WARNING, L"Unable to download FrameworkInstall.zip:Response:%d", static_cast<int>(r.response_code));
    r.host_base.clear();
    return road_step::next_form;
}

// The host forms of the current site in order until one delivers. A missing form moves on to the
// next at once; cancel is noticed before each form is entered.
road_step try_site(repository_road& r, wchar_t* package_path) {
    bool after_attempt = false;
    for (const host_form& form : host_forms) {
        if (after_attempt && cancelled(r.ctx)) {
            end_on_cancel(0);
            return road_step::cancelled;
        }
        if (cancelled(r.ctx)) {
            log_message(SEV_INFO, form.install_aborted);
            return attempt(r, package_path);
        }
        log_message(SEV_INFO, form.install.enter);
        const wchar_t* host = r.site.*form.site_field;
        after_attempt = host[0] != L'\0';
        if (!after_attempt) {
            log_message(SEV_WARNING, form.install.missing);
            if (&form == &host_forms[host_form_count - 1])
                log_message(SEV_WARNING, L"Now Looking for any other repositories");
            continue;
        }
        set_host_base(r, form.address ? ip_host(host) : std::wstring(host));
        log_message(SEV_INFO, form.install.trying, r.host_base.c_str());
        road_step step = attempt(r, package_path);
        if (step != road_step::next_form) return step;
    }
    return road_step::next_site;
}

int run_repository_road(repository_road& r, site_record* list, int resume, wchar_t* package_path) {
    if (r.route && (r.route->route_kind == ROUTE_RELAY || r.route->route_kind == ROUTE_PROXY)) {
        log_message(SEV_INFO, r.route->route_kind == ROUTE_RELAY ? L"Trying to connect to repository via relay"
                                                                 : L"Trying to connect to repository via proxy");
        if (apply_route(r.handle, r.route) == 0) log_message(SEV_INFO, L"Proxy information successfully set");
    }
    bool have_site = next_site(list, &r.site) != 0;
    if (!resume) {
        log_message(SEV_INFO, L"Resume download flag is off deleting the files.");
        if (os_is_file(r.narrow_package)) os_delete_file(r.package);
    }
    if (cancelled(r.ctx)) return end_on_cancel(0);
    if (!have_site) {
        log_message(SEV_ERROR, L"Unable to find a valid site to download install file");
        log_message(SEV_INFO, L"Download of install file failed");
        return 0;
    }
    for (;;) {
        road_step step = try_site(r, package_path);
        if (step == road_step::delivered) return 1;
        if (step == road_step::cancelled || !move_to_next_site(r, list)) return 0;
        if (cancelled(r.ctx)) return end_on_cancel(0);
    }
}

std::wstring in_folder(const wchar_t* work_folder, const wchar_t* name) {
    if (!work_folder || !*work_folder) return {};
    std::wstring path = std::wstring(work_folder) + OS_SEP_S + name;
    return path.size() < path_capacity ? path : L"";
}
}   // namespace

int retrieve_install_package(wchar_t* package_path, const wchar_t* work_folder, run_context* ctx, proxy_record* route,
                             int resume) {
    transfer_handle_ptr handle(create_transfer_handle(on_transfer_progress, ctx, nullptr, nullptr));
    if (!handle) return 0;

    if (route && route->route_kind != ROUTE_AGENT_HANDLER) {
        peer_road_result peers = fetch_install_files_from_peers(handle.get(), work_folder, ctx, route);
        if (peers == PEER_ROAD_NO_MANIFEST) return 0;
        if (route->route_kind == ROUTE_PEERS) {
            log_message(
                SEV_INFO,
                peers == PEER_ROAD_DELIVERED
                    ? L"Returning from Install via p2p mechanism within top level p2p mechanism as we got all install files"
                    : L"Returning from Install via p2p mechanism within top level p2p mechanism to try for other mechanisms");
            return peers == PEER_ROAD_DELIVERED ? 1 : 0;
        }
        if (peers == PEER_ROAD_DELIVERED) {
            log_message(
                SEV_INFO,
                L"Returning from Install via p2p mechanism within the selected top level - %d - mechanism as we got all install files",
                route->route_kind);
            return 1;
        }
        log_message(
            SEV_INFO,
            L"Continue from Install via p2p mechanism within the selected top level - %d - mechanism as we failed to get files from p2p",
            route->route_kind);
    }

    repository_road r(ctx, route, handle.get());
    r.package = in_folder(work_folder, L"FrameworkInstall.zip");
    wchar_t location[path_capacity] = {};
    int first = 0;
    r.location_known = read_xml_element_text(in_folder(work_folder, L"PackageInfo.xml").c_str(), L"location", location,
                                             path_capacity, &first) != 0;
    r.location = location;
    std::string site_list;
    os_to_narrow(in_folder(work_folder, L"sitelist.xml"), site_list);
    os_to_narrow(r.package, r.narrow_package);

    site_record* parsed = nullptr;
    if (!parse_site_list(&parsed, site_list.c_str())) log_message(SEV_ERROR, L"unable to Parse sitelist errno 1");
    site_list_ptr list(parsed);
    if (!list) return 0;
    std::string narrow_folder;
    std::unique_ptr<package_unpacker> unpacker;
    if (work_folder && *work_folder && os_to_narrow(work_folder, narrow_folder))
        unpacker.reset(new (std::nothrow) package_unpacker(narrow_folder));
    r.unpacker = unpacker.get();
    set_transfer_follower(handle.get(), unpacker.get());
    int delivered = run_repository_road(r, list.get(), resume, package_path);
    set_transfer_follower(handle.get(), nullptr);
    return delivered;
}
