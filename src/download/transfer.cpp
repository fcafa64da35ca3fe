// The progress hook uses the four-counter progress function; keep libcurl quiet about its age.
#define CURL_DISABLE_DEPRECATION 1

#include "download/transfer.h"

#include <curl/curl.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "core/digest_worker.h"
#include "core/file_digest.h"
#include "core/log.h"
#include "core/options.h"
#include "download/response_header.h"
#include "download/url_host.h"
#include "os/files.h"
#include "os/text.h"

const transfer_limits default_transfer_limits = {true, 0, 1, 300};

namespace {
constexpr long connect_timeout = 180;   // seconds
constexpr char allowed_protocols[] = "http,https";
constexpr long receive_buffer = 512 * 1024;   // libcurl's largest read buffer
constexpr size_t file_buffer = 256 * 1024;    // stdio buffer: 256 KiB measured fastest
// A follower is told of the output every megabyte: often enough to keep its reader busy, seldom
// enough that the flushes cost nothing.
constexpr long long follow_step = 1 << 20;
// Every method but Negotiate and Digest-IE.
constexpr unsigned long proxy_auth_methods = CURLAUTH_ANY & ~(CURLAUTH_NEGOTIATE | CURLAUTH_DIGEST_IE);
constexpr CURLcode range_error = CURLE_RANGE_ERROR;   // 33: the server ignored the range
constexpr int missing_argument = 2;
constexpr long proxy_auth_required = 407;
constexpr int credential_prompts = 3;   // per transfer; each can be cancelled

struct curl_easy_deleter {
    void operator()(CURL* c) const noexcept { curl_easy_cleanup(c); }
};
}   // namespace

struct transfer_handle {
    std::unique_ptr<CURL, curl_easy_deleter> easy;
    FILE* output = nullptr;    // open only inside transfer_file
    std::string output_path;   // of the open output
    int write_error = 0;       // errno of a failed write of this transfer; the file is then gone
    std::unique_ptr<char[]> output_buffer;
    transfer_progress_fn progress = nullptr;
    run_context* progress_data = nullptr;
    response_header_fn header = nullptr;
    run_context* header_data = nullptr;
    transfer_limits limits = default_transfer_limits;
    std::vector<std::string> server_names;   // read by the TLS callbacks during a transfer
    long long file_bytes = 0;                // size of the output file in this attempt, resumed part included
    bool over_cap = false;                   // the write hook refused bytes beyond limits.max_bytes
    bool digest_wanted = false;              // hash files written from their first byte (SHA-256)
    digest_worker_ptr digest;                // hashing the output of this attempt, when wanted
    transfer_follower* follower = nullptr;   // told of the output as it grows, when it starts empty
    bool following = false;                  // the follower was told of this attempt's start
    long long flushed_bytes = 0;             // told to the follower

    ~transfer_handle() {
        if (output) std::fclose(output);
    }
};

namespace {
bool starts_with_ignoring_case(const char* text, size_t size, const char* lower_prefix) {
    size_t i = 0;
    for (; lower_prefix[i] != '\0'; ++i) {
        if (i >= size) return false;
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower_prefix[i]) return false;
    }
    return true;
}

// Header names whose values are credentials: they never reach the log.
bool is_credential_header(const char* line, size_t size) {
    return starts_with_ignoring_case(line, size, "proxy-authorization:") ||
           starts_with_ignoring_case(line, size, "authorization:");
}

// Replaces the text from `start` to the last `quote` of its line (to the line end when there is
// none) by "*"; returns the position after the "*".
size_t mask_to_line_end(std::string& text, size_t start, char quote) {
    size_t line_end = text.find_first_of("\r\n", start);
    if (line_end == std::string::npos) line_end = text.size();
    size_t stop = quote ? text.rfind(quote, line_end == 0 ? 0 : line_end - 1) : std::string::npos;
    if (stop == std::string::npos || stop < start) stop = line_end;
    text.replace(start, stop - start, "*");
    return start + 1;
}

// Credentials in a chunk of libcurl's lines, each replaced by "*": values of authorization
// headers, and the user names libcurl names itself ("Proxy auth using Basic with user 'alice'";
// a name may hold quotes, so the mask runs to the line's last one).
void mask_credentials(std::string& text) {
    static const char with_user[] = "with user '";
    for (size_t at = text.find(with_user); at != std::string::npos; at = text.find(with_user, at))
        at = mask_to_line_end(text, at + sizeof with_user - 1, '\'');
    for (size_t line = 0; line < text.size();) {
        if (is_credential_header(text.data() + line, text.size() - line)) {
            size_t colon = text.find(':', line);
            text.insert(colon + 1, " ");
            mask_to_line_end(text, colon + 2, '\0');
        }
        size_t next = text.find('\n', line);
        line = next == std::string::npos ? text.size() : next + 1;
    }
}

// Printable bytes as they are, every other byte as lower-case hex digits; the last byte (the
// line end) is dropped. Credentials are masked first.
std::wstring render_debug_chunk(const char* data, size_t size) {
    std::wstring out;
    if (size == 0) return out;
    std::string text(data, size - 1);
    mask_credentials(text);
    for (unsigned char c : text) {
        if (c >= 32 && c <= 126) {
            out += static_cast<wchar_t>(c);
        } else {
            wchar_t hex[4];
            std::swprintf(hex, 4, L"%x", static_cast<unsigned>(c));
            out += hex;
        }
    }
    return out;
}

int log_hook(CURL*, curl_infotype type, char* data, size_t size, void*) {
    if (type != CURLINFO_TEXT && type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return 0;
    log_message(SEV_DEBUG, L"curl %ls", render_debug_chunk(data, size).c_str());
    return 0;
}

int progress_hook(void* data, double download_total, double download_now, double, double) {
    auto* handle = static_cast<transfer_handle*>(data);
    if (!handle || !handle->progress) return 0;
    return handle->progress(handle->progress_data, download_total, download_now) != 0 ? 1 : 0;
}

size_t header_hook(char* data, size_t size, size_t count, void* user) {
    size_t total = size * count;
    auto* handle = static_cast<transfer_handle*>(user);
    if (!handle || !handle->header) return total;
    std::wstring name, value;
    if (split_response_header(data, total, name, value))
        handle->header(name.c_str(), value.c_str(), handle->header_data);
    return total;
}

// A file that could not be written is closed and removed at once, whether or not it could be
// resumed: on a full disk its space is what the log needs for the lines that follow (libcurl
// reports the failure through the log hook before the transfer returns).
void discard_output(transfer_handle* handle, int error) {
    if (handle->write_error == 0) handle->write_error = error != 0 ? error : EIO;
    if (handle->output) std::fclose(handle->output);
    handle->output = nullptr;
    handle->digest.reset();
    // Only a file of ours: an output such as a device is never removed.
    std::error_code error_code;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(handle->output_path, error_code)))
        std::remove(handle->output_path.c_str());
}

// A short count makes libcurl end the transfer with a write error (23).
size_t write_hook(char* data, size_t size, size_t count, void* user) {
    auto* handle = static_cast<transfer_handle*>(user);
    if (!handle->output) return 0;
    size_t total = size * count;
    long long cap = handle->limits.max_bytes;
    if (cap > 0 && handle->file_bytes + static_cast<long long>(total) > cap) {
        handle->over_cap = true;
        return 0;
    }
    errno = 0;
    size_t written = std::fwrite(data, 1, total, handle->output);
    handle->file_bytes += static_cast<long long>(written);
    if (written == total) {
        // A digest that could not follow is dropped: the file is then read when it is checked.
        if (handle->digest && !digest_worker_feed(handle->digest.get(), data, written)) handle->digest.reset();
        if (!handle->following || handle->file_bytes - handle->flushed_bytes < follow_step) return written;
        if (std::fflush(handle->output) == 0) {
            handle->flushed_bytes = handle->file_bytes;
            handle->follower->flushed(static_cast<uint64_t>(handle->file_bytes));
            return written;
        }
    }
    discard_output(handle, errno);
    return 0;
}

// Once per followed attempt, after its output is closed.
void end_following(transfer_handle* handle, bool whole) {
    if (!handle->following) return;
    handle->following = false;
    handle->follower->ended(whole, static_cast<uint64_t>(handle->file_bytes));
}

// The hooks, each step only when the previous option was taken; a broken chain leaves a
// handle that still transfers.
void install_hooks(transfer_handle* handle) {
    CURL* easy = handle->easy.get();
    if (curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L) != CURLE_OK) return;
    if (curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, log_hook) != CURLE_OK) return;
    if (curl_easy_setopt(easy, CURLOPT_DEBUGDATA, handle) != CURLE_OK) return;
    if (curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L) != CURLE_OK) return;
    if (curl_easy_setopt(easy, CURLOPT_PROGRESSDATA, handle) != CURLE_OK) return;
    if (curl_easy_setopt(easy, CURLOPT_PROGRESSFUNCTION, progress_hook) != CURLE_OK) return;
    if (!handle->header) return;
    if (curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, header_hook) != CURLE_OK) return;
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, handle);
}

// Size of an existing file in 64 bits (partial packages pass 2 GiB), -1 when there is none.
long long file_size(const char* path) {
    std::error_code error;
    auto size = std::filesystem::file_size(std::filesystem::path(path), error);
    if (error) return -1;
    return static_cast<long long>(size);
}

// Opens the output with the large buffer; the buffer outlives the stream (closed first).
bool open_output(transfer_handle* handle, const char* file, const char* mode) {
    handle->output = std::fopen(file, mode);
    if (!handle->output) return false;
    handle->output_path = file;
    // Only a file written from its first byte can be hashed on the way; an appended one is
    // read whole when it is checked.
    handle->digest.reset(handle->digest_wanted && mode[0] == 'w' ? digest_worker_start(os_digest_kind::sha256)
                                                                 : nullptr);
    if (!handle->output_buffer) handle->output_buffer.reset(new (std::nothrow) char[file_buffer]);
    if (handle->output_buffer) std::setvbuf(handle->output, handle->output_buffer.get(), _IOFBF, file_buffer);
    handle->following = handle->follower && mode[0] == 'w';
    handle->flushed_bytes = 0;
    if (handle->following) handle->follower->started(file);
    return true;
}

// False when buffered data could not be written: the file is then not what was received, and
// it is removed like one whose write failed during the transfer.
bool close_output(transfer_handle* handle) {
    if (!handle->output) return handle->write_error == 0;
    errno = 0;
    bool written = std::fclose(handle->output) == 0;
    int error = errno;
    handle->output = nullptr;
    if (!written) discard_output(handle, error);
    return written;
}

// The digest hashed beside a complete transfer, kept for the file as it now is on disk.
void remember_output_digest(transfer_handle* handle, const char* file) {
    std::string hex;
    if (handle->digest && digest_worker_finish(handle->digest.get(), hex))
        remember_file_digest(file, os_digest_kind::sha256, hex);
}

// Opens the output for this attempt and sets or clears the range, so that a handle reused after
// a resumed attempt never asks a fresh download for a tail only.
bool prepare_output(transfer_handle* handle, const char* file, int resume) {
    CURL* easy = handle->easy.get();
    long long size = resume ? file_size(file) : -1;
    const char* mode = "wb";
    curl_off_t offset = 0;
    if (size > 0) {
        log_message(SEV_INFO, L"Resume the file downloaded from %.2f MB ( %lld Bytes ): " OS_NARROW_S,
                    static_cast<double>(static_cast<float>(size / 1048576.0)), size, file);
        mode = "ab";
        offset = static_cast<curl_off_t>(size);
    } else if (size == 0) {
        log_message(SEV_INFO, L"Partial download file is empty. Fresh file will be downloaded at: " OS_NARROW_S, file);
    } else {
        log_message(SEV_INFO, L"Fresh file will be downloaded at: " OS_NARROW_S, file);
    }
    if (offset > 0) {
        char range[50];
        std::snprintf(range, sizeof range, "%lld-", static_cast<long long>(offset));
        curl_easy_setopt(easy, CURLOPT_RANGE, range);
    } else {
        curl_easy_setopt(easy, CURLOPT_RANGE, nullptr);
    }
    curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, offset);
    handle->file_bytes = offset;
    handle->over_cap = false;
    return open_output(handle, file, mode);
}

// Options of one attempt that must hold; the first failure is the transfer's result.
CURLcode set_transfer_options(transfer_handle* handle, const char* url) {
    CURL* easy = handle->easy.get();
    CURLcode rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_URL, url)) != CURLE_OK) return rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, write_hook)) != CURLE_OK) return rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_WRITEDATA, handle)) != CURLE_OK) return rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, handle->limits.floor_bytes_per_second)) != CURLE_OK)
        return rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, handle->limits.floor_seconds)) != CURLE_OK) return rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L)) != CURLE_OK) return rc;
    return curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, connect_timeout);
}

// Where a transfer may go and how much it may bring: a server's redirect never reaches another
// protocol (ftp, file, ...), and an announced size over the cap ends the transfer before the body.
CURLcode set_reach(transfer_handle* handle) {
    CURL* easy = handle->easy.get();
    const transfer_limits& limits = handle->limits;
    CURLcode rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, allowed_protocols)) != CURLE_OK) return rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, allowed_protocols)) != CURLE_OK) return rc;
    if ((rc = curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, limits.follow_redirects ? 1L : 0L)) != CURLE_OK) return rc;
    return curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.max_bytes));
}

// The SSL-context function of a verifying mode, with the names it checks the certificate for.
CURLcode set_certificate_check(transfer_handle* handle, int (*check)(void*, void*, void*)) {
    CURL* easy = handle->easy.get();
    CURLcode rc = curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &handle->server_names);
    if (rc != CURLE_OK) return rc;
    return curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, check);
}

// verify 0: libcurl checks nothing. verify 1 with a CA path: libcurl checks the chain against
// that file. verify 1 without: the system's trust decides (verify_server_certificate). Both
// verifying modes require the certificate to name the server. Leftovers of an earlier attempt's
// mode are cleared so that the mode asked for is the one that applies.
CURLcode set_tls_mode(transfer_handle* handle, int verify, const char* ca_path) {
    CURL* easy = handle->easy.get();
    if (verify != 1) {
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, nullptr);
        return CURLE_OK;
    }
    if (!ca_path || ca_path[0] == '\0') {
        CURLcode rc = set_certificate_check(handle, verify_server_certificate);
        // The chain check is the system's; libcurl's own bundle would only be loaded and unused.
        if (rc == CURLE_OK) curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
        return rc;
    }
    log_message(SEV_INFO, L"certificate passed to curl");
    CURLcode rc = curl_easy_setopt(easy, CURLOPT_CAINFO, ca_path);
    if (rc != CURLE_OK) return rc;
    if ((rc = set_certificate_check(handle, require_server_names)) != CURLE_OK) return rc;
    curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1));
    return CURLE_OK;
}

// A server that answers a range request with the whole file: start again from byte 0, once.
CURLcode retry_without_range(transfer_handle* handle, const char* file) {
    log_message(SEV_INFO, L"The server doesn't honor the range request. Downloading fresh file.");
    close_output(handle);
    if (handle->write_error != 0) return CURLE_WRITE_ERROR;
    if (!open_output(handle, file, "wb")) return static_cast<CURLcode>(missing_argument);
    CURL* easy = handle->easy.get();
    curl_easy_setopt(easy, CURLOPT_RANGE, nullptr);
    curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(0));
    handle->file_bytes = 0;
    handle->over_cap = false;
    return curl_easy_perform(easy);
}

// Everything an attempt needs before it can start; the first option that fails is the result.
CURLcode configure_attempt(transfer_handle* handle, const char* url, int verify, const char* ca_path) {
    CURL* easy = handle->easy.get();
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, static_cast<long>(verify));
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(easy, CURLOPT_AUTOREFERER, 0L);
    CURLcode rc = set_reach(handle);
    if (rc != CURLE_OK) return rc;
    if ((rc = set_transfer_options(handle, url)) != CURLE_OK) return rc;
    return set_tls_mode(handle, verify, ca_path);
}

CURLcode perform(transfer_handle* handle, const char* file) {
    CURLcode rc = curl_easy_perform(handle->easy.get());
    if (rc == range_error) rc = retry_without_range(handle, file);
    return rc;
}

// Reads option `slot` into a credential field; an absent or over-long option leaves it empty.
void copy_credential(int slot, wchar_t* field) {
    size_t capacity = proxy_credential_capacity;
    field[0] = L'\0';
    if (get_option(slot, field, &capacity) == 1 && capacity > proxy_credential_capacity) {
        log_message(SEV_ERROR, L"Proxy credential of option slot %d is too long and is not used", slot);
        field[0] = L'\0';
    }
}

// The credentials of the proxy road: those the person at the dialog entered, else options -u
// and -w (nothing is set when neither option was given).
void set_proxy_credentials(transfer_handle* handle, proxy_record* route) {
    if (!route->credentials_entered) {
        size_t capacity = 0;
        bool user_given = get_option(OPT_PROXY_USER, nullptr, &capacity) == 1;
        bool password_given = get_option(OPT_PROXY_PASSWORD, nullptr, &capacity) == 1;
        if (!user_given && !password_given) return;
        copy_credential(OPT_PROXY_USER, route->proxy_user);
        copy_credential(OPT_PROXY_PASSWORD, route->proxy_password);
    }
    if (!handle) return;

    log_message(SEV_INFO, L"Setting proxy credentials");
    char user[proxy_credential_capacity];
    char password[proxy_credential_capacity];
    os_to_narrow(route->proxy_user, user, sizeof user);
    os_to_narrow(route->proxy_password, password, sizeof password);
    CURL* easy = handle->easy.get();
    if (curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, user) == CURLE_OK &&
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, password) == CURLE_OK)
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, proxy_auth_methods);
    // libcurl keeps its own copies; ours go.
    volatile char* wipe_user = user;
    volatile char* wipe_password = password;
    for (size_t i = 0; i < proxy_credential_capacity; ++i) wipe_user[i] = wipe_password[i] = 0;
}

// The proxy of the road refused the request for want of (other) credentials, and someone can
// be asked for them.
bool proxy_wants_credentials(transfer_handle* handle, const proxy_record* route, const long* response_code) {
    if (!handle || !route || route->route_kind != ROUTE_PROXY || !route->prompt_credentials) return false;
    long connect_code = 0;
    curl_easy_getinfo(handle->easy.get(), CURLINFO_HTTP_CONNECTCODE, &connect_code);
    return connect_code == proxy_auth_required || (response_code && *response_code == proxy_auth_required);
}

}   // namespace

transfer_handle* create_transfer_handle(transfer_progress_fn progress, run_context* progress_data,
                                        response_header_fn header, run_context* header_data) {
    CURL* easy = curl_easy_init();
    if (!easy) return nullptr;
    auto* handle = new (std::nothrow) transfer_handle;
    if (!handle) {
        curl_easy_cleanup(easy);
        return nullptr;
    }
    handle->easy.reset(easy);
    handle->progress = progress;
    handle->progress_data = progress_data;
    handle->header = header;
    handle->header_data = header_data;
    install_hooks(handle);
    // No proxy until a road names one: libcurl would otherwise take one from the environment
    // (http_proxy, https_proxy, all_proxy, no_proxy), and the direct roads must stay direct.
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    // Fewer, larger reads: the file is written in big blocks, not in 16 KiB steps.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, receive_buffer);
    return handle;
}

void release_transfer_handle(transfer_handle* handle) { delete handle; }

int apply_route(transfer_handle* handle, const proxy_record* route) {
    if (!handle) return CURLE_FAILED_INIT;
    CURL* easy = handle->easy.get();
    CURLcode rc = curl_easy_setopt(easy, CURLOPT_USERAGENT, transfer_user_agent);
    if (rc != CURLE_OK) return rc;
    bool relayed = route && route->route_kind != ROUTE_PEERS && route->route_kind != ROUTE_AGENT_HANDLER;
    if (relayed && route->host[0] != '\0' && route->port >= 1 && route->port <= 65535) {
        if ((rc = curl_easy_setopt(easy, CURLOPT_PROXY, route->host)) != CURLE_OK) return rc;
        if ((rc = curl_easy_setopt(easy, CURLOPT_PROXYPORT, static_cast<long>(route->port))) != CURLE_OK) return rc;
    } else if ((rc = curl_easy_setopt(easy, CURLOPT_PROXY, "")) != CURLE_OK) {
        return rc;   // a reused handle must not keep an earlier road's proxy
    }
    if (route && route->route_kind != ROUTE_PEERS && route->ipv6 == 1 && std::strstr(route->host, "fe80"))
        rc = curl_easy_setopt(easy, CURLOPT_ADDRESS_SCOPE, static_cast<long>(route->scope_id));
    return rc;
}

int set_transfer_server_names(transfer_handle* handle, const std::vector<std::string>& names) {
    if (!handle) return CURLE_FAILED_INIT;
    try {
        handle->server_names = names;
    } catch (const std::bad_alloc&) {
        handle->server_names.clear();
        return CURLE_OUT_OF_MEMORY;
    }
    return CURLE_OK;
}

void set_transfer_follower(transfer_handle* handle, transfer_follower* follower) {
    if (handle) handle->follower = follower;
}

void set_transfer_digest(transfer_handle* handle, bool hash_while_writing) {
    if (handle) handle->digest_wanted = hash_while_writing;
}

void set_transfer_limits(transfer_handle* handle, const transfer_limits* limits) {
    if (handle) handle->limits = limits ? *limits : default_transfer_limits;
}

int set_transfer_scope_id(transfer_handle* handle, long scope_id) {
    if (!handle) return CURLE_FAILED_INIT;
    return curl_easy_setopt(handle->easy.get(), CURLOPT_ADDRESS_SCOPE, scope_id);
}

int transfer_via_route(transfer_handle* handle, proxy_record* route, const char* url, const char* file, int verify,
                       const char* ca_path, long* response_code, int resume) {
    // Only the direct road may continue a file: another road may have written it from
    // elsewhere, and relays and proxies may answer ranges differently.
    bool direct = route && route->route_kind == ROUTE_AGENT_HANDLER;
    if (route && route->route_kind == ROUTE_PROXY) set_proxy_credentials(handle, route);
    int rc = transfer_file(handle, url, file, verify, ca_path, response_code, direct ? resume : 0);
    for (int asked = 0; asked < credential_prompts && proxy_wants_credentials(handle, route, response_code); ++asked) {
        if (!route->prompt_credentials(route)) break;
        log_message(SEV_INFO, L"The proxy asked for credentials (407): trying again with those entered");
        route->credentials_entered = 1;
        set_proxy_credentials(handle, route);
        if (response_code) *response_code = 0;
        rc = transfer_file(handle, url, file, verify, ca_path, response_code, 0);
    }
    return rc;
}

int transfer_file(transfer_handle* handle, const char* url, const char* file, int verify, const char* ca_path,
                  long* response_code, int resume) {
    if (!handle || !response_code || !url || !file) return missing_argument;
    handle->write_error = 0;
    if (!prepare_output(handle, file, resume)) return missing_argument;
    CURL* easy = handle->easy.get();
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, resume ? 1L : 0L);

    CURLcode rc = configure_attempt(handle, url, verify, ca_path);
    if (rc != CURLE_OK) {
        // libcurl still holds the previous transfer's code, which a caller could take for this one's.
        *response_code = 0;
        close_output(handle);
        end_following(handle, false);
        return rc;
    }
    rc = perform(handle, file);
    if (handle->over_cap || rc == CURLE_FILESIZE_EXCEEDED)
        log_message(SEV_ERROR, L"Download of " OS_NARROW_S L" stopped: larger than %lld bytes", file,
                    handle->limits.max_bytes);

    long code = 0;
    if (curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK) *response_code = code;
    close_output(handle);
    end_following(handle, rc == CURLE_OK && handle->write_error == 0);
    if (rc == CURLE_OK && handle->write_error == 0) remember_output_digest(handle, file);
    handle->digest.reset();
    if (handle->write_error != 0) {
        log_message(SEV_ERROR, L"Writing " OS_NARROW_S L" failed: " OS_NARROW_S L"; the partial file was removed", file,
                    os_error_text(handle->write_error).c_str());
        return CURLE_WRITE_ERROR;
    }
    return rc;
}

int transfer_trying_scopes(transfer_handle* handle, proxy_record* route, const char* url, const char* file, int verify,
                           const char* ca_path, long* response_code, int resume, const wchar_t* scope_line,
                           transfer_accepted_fn accepted) {
    if (response_code) *response_code = 0;
    // Only a host that is a link-local address needs a scope; "fe80" elsewhere in the URL (a
    // token, a GUID, a name, a path) is just text.
    bool link_local = route && (route->route_kind == ROUTE_AGENT_HANDLER || route->route_kind == ROUTE_PROXY) && url &&
                      is_link_local_ipv6(url_host(url));
    if (!link_local) return transfer_via_route(handle, route, url, file, verify, ca_path, response_code, resume);
    if (!route->scope_list_present || !route->scope_list) return transfer_not_made;
    int result = transfer_not_made;
    for (uint32_t i = 0; i < route->scope_count; ++i) {
        log_message(SEV_INFO, scope_line, route->scope_list[i]);
        set_transfer_scope_id(handle, route->scope_list[i]);
        if (response_code) *response_code = 0;
        result = transfer_via_route(handle, route, url, file, verify, ca_path, response_code, resume);
        if (accepted(result, response_code ? *response_code : 0)) break;
    }
    return result;
}
