// HTTP and HTTPS transfers over libcurl's easy interface: one URL into one file, with resume,
// three TLS modes (the verifying ones also check that the certificate names the server), the
// route (proxy, relay, IPv6 scope) of the download call, and limits for untrusted servers.
// A handle serves one retrieval on the install worker thread; its options persist from attempt
// to attempt unless overwritten. Results are libcurl's codes (0 = success), except 2 for a
// missing argument or an output file that cannot be opened; the HTTP response code comes back
// separately and the callers judge it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "download/proxy_record.h"

struct run_context;
struct transfer_handle;   // opaque

// Called during every transfer with the total and the bytes received so far; non-zero aborts
// the transfer (libcurl's "aborted by callback", 42).
using transfer_progress_fn = int (*)(run_context* ctx, double total, double now);

// Called for every response header line that has a name: name and value without the line end.
using response_header_fn = int (*)(const wchar_t* name, const wchar_t* value, run_context* ctx);

constexpr size_t transfer_url_capacity = 1024;   // wide characters of format_ipv6_url
constexpr char transfer_user_agent[] = "Holven Agent";

// Null when libcurl or memory fails. `header` may be null (no header hook).
transfer_handle* create_transfer_handle(transfer_progress_fn progress, run_context* progress_data,
                                        response_header_fn header, run_context* header_data);

// Closes an open output file and frees everything. Accepts null.
void release_transfer_handle(transfer_handle* handle);

// Owns a handle for the length of a retrieval.
struct transfer_handle_releaser {
    void operator()(transfer_handle* handle) const noexcept { release_transfer_handle(handle); }
};
using transfer_handle_ptr = std::unique_ptr<transfer_handle, transfer_handle_releaser>;

// What a transfer accepts from its server. Servers the run cannot trust (peers) get a size cap,
// a speed floor and no redirects, so that none can fill the disk, hold the run or send it
// elsewhere. Every transfer is limited to http and https, redirects included.
struct transfer_limits {
    bool follow_redirects;
    long long max_bytes;           // of the file, 0 for no cap
    long floor_bytes_per_second;   // slower than this ...
    long floor_seconds;            // ... for this long ends the transfer
};
extern const transfer_limits default_transfer_limits;   // redirects followed, no cap, 1 B/s for 300 s

// Limits of the handle's later transfers until changed; null restores the defaults.
void set_transfer_limits(transfer_handle* handle, const transfer_limits* limits);

// While on, a transfer that writes its file from the first byte hashes it (SHA-256) on a
// second thread as it is written, and once the file is complete and closed remembers the digest
// for it (core/file_digest.h), so that verify_file_digest does not read the file again. Off
// for a new handle: the repositories' install package is checked by extraction, not by digest.
void set_transfer_digest(transfer_handle* handle, bool hash_while_writing);

// Told of a transfer's output file as it grows, for work that follows it while it downloads (the
// install package is unpacked as it arrives). Only transfers that write their file from the
// first byte are followed; every call comes from the transfer's own thread, and every started()
// is matched by one ended().
class transfer_follower {
public:
    virtual ~transfer_follower() = default;
    // A file at `path` (narrow) is now written from its first byte.
    virtual void started(const char* path) = 0;
    // Its first `length` bytes are written and flushed, so that a reader of the file sees them.
    virtual void flushed(uint64_t length) = 0;
    // The transfer is over; `whole`: it succeeded and the file is closed at `length` bytes.
    virtual void ended(bool whole, uint64_t length) = 0;
};

// The follower of the handle's later transfers (not owned); null for none, as for a new handle.
void set_transfer_follower(transfer_handle* handle, transfer_follower* follower);

// The host forms of the server (names or addresses) of which the server's certificate must
// carry one, as a subject alternative name (DNS or IP) or as its common name, whenever a
// transfer verifies its peer; the chain check alone would accept any certificate of the CA.
// Kept for the handle's later transfers. A verifying transfer without names refuses every
// certificate; a transfer with verify 0 checks nothing. 0, or a libcurl code (27: no memory).
int set_transfer_server_names(transfer_handle* handle, const std::vector<std::string>& names);

// User agent always; for relay and proxy routes the proxy (host and port 1..65535), for every
// other road (routes 0 and 1, peers: a null route) no proxy at all, whatever the environment
// names; for routes other than 0 the IPv6 scope of a link-local host. 0 or the libcurl error of
// the first option that failed. A new handle has no proxy until a route names one.
int apply_route(transfer_handle* handle, const proxy_record* route);

// Sets the IPv6 scope (interface index) for link-local URLs; a libcurl code.
int set_transfer_scope_id(transfer_handle* handle, long scope_id);

// The call for server and repository downloads: resume only on route 1; on route 3 the proxy
// credentials of options -u and -w (or those entered at the prompt) go into the record and the
// handle. Then transfer_file. When the proxy of route 3 answers 407 and the record has a prompt
// hook, the hook is asked for credentials and the transfer is made again with them, until it
// no longer answers 407, the hook declines, or three prompts have been made.
int transfer_via_route(transfer_handle* handle, proxy_record* route, const char* url, const char* file, int verify,
                       const char* ca_path, long* response_code, int resume);

// A download call's transfer: a URL whose host is a link-local IPv6 address (fe80::/10) on
// route kind 1 or 3 is tried once per scope id of the route, logging `scope_line` (a format
// with one %d) before each, until `accepted` takes an attempt; with no scope list nothing is
// fetched and the result is transfer_not_made. Any other URL gets one transfer_via_route.
constexpr int transfer_not_made = -1;
using transfer_accepted_fn = bool (*)(int result, long response_code);
int transfer_trying_scopes(transfer_handle* handle, proxy_record* route, const char* url, const char* file, int verify,
                           const char* ca_path, long* response_code, int resume, const wchar_t* scope_line,
                           transfer_accepted_fn accepted);

// Fetches `url` into `file` (narrow paths). With resume and a non-empty file the transfer asks
// for the rest and appends; a server that ignores ranges gets one fresh attempt. verify 0: no
// peer verification; verify 1 with a CA path: that PEM file; verify 1 with an empty path: the
// system trust store. *response_code is written only when libcurl knows one.
int transfer_file(transfer_handle* handle, const char* url, const char* file, int verify, const char* ca_path,
                  long* response_code, int resume);

// libcurl's SSL-context function for the system-trust-store mode: replaces the TLS library's
// chain check by the operating system's, and requires the certificate to carry one of the
// names of `names` (a const std::vector<std::string>*). 66 (SSL engine initialisation failed)
// without a context.
int verify_server_certificate(void* curl, void* ssl_ctx, void* names);

// libcurl's SSL-context function for the CA-file mode: the chain check stays libcurl's, and the
// certificate must carry one of the names of `names`, as above. 66 without a context.
int require_server_names(void* curl, void* ssl_ctx, void* names);

// Writes IPv6 literals of a URL or host:port in brackets and drops a zone index
// ("https://fe80::1%12:443/x" -> "https://[fe80::1]:443/x"). Both are at most
// transfer_url_capacity characters; 0 (output empty) when the result would not fit.
// Input without a colon comes back unchanged.
int format_ipv6_url(const wchar_t* input, wchar_t* output);
