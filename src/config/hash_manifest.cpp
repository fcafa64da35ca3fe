#include "config/hash_manifest.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "config/xml_document.h"
#include "core/file_digest.h"
#include "core/log.h"
#include "core/run_context.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/contained_name.h"

namespace {
char* header_field(const wchar_t* name, run_context* ctx) {
    if (std::wcscmp(name, L"Config-Hash") == 0) return ctx->config_hash;
    if (std::wcscmp(name, L"Install-Hash") == 0) return ctx->install_hash;
    if (std::wcscmp(name, L"Tenant-ID") == 0) return ctx->tenant_id;
    return nullptr;
}

// Mini-XML keeps comments, declarations and CDATA as elements named "!..." or "?...".
bool is_markup(const char* element_name) { return element_name[0] == '!' || element_name[0] == '?'; }

// The digest text of an entry; empty when the element holds none.
const char* digest_text(mxml_node_t* element) {
    mxml_node_t* text = mxmlGetFirstChild(element);
    const char* digest = text && mxmlGetType(text) == MXML_OPAQUE ? mxmlGetOpaque(text) : nullptr;
    return digest ? digest : "";
}

// The entry for `element`, or null when it is to be skipped. Sets `out_of_memory` on failure.
// An entry without a usable digest is kept with an empty one: dropping it would let its file
// pass unchecked.
hash_entry* make_entry(mxml_node_t* element, bool& out_of_memory) {
    const char* name = mxmlGetElement(element);
    if (!name || is_markup(name)) return nullptr;
    // The names become paths for downloads and moves: one that leaves the folder, or that
    // would have to be cut (and so name another file), is not taken.
    if (!name_stays_inside_folder(name) || std::strlen(name) >= hash_entry_capacity) {
        log_message(SEV_ERROR, L"Skipping hashes.xml entry " OS_NARROW_S L": unusable file name or digest", name);
        return nullptr;
    }
    const char* digest = digest_text(element);
    if (std::strlen(digest) >= hash_entry_capacity) {
        log_message(SEV_ERROR, L"The digest of " OS_NARROW_S L" in hashes.xml is too long to be one", name);
        digest = "";
    }
    auto* entry = new (std::nothrow) hash_entry;
    if (!entry) {
        out_of_memory = true;
        return nullptr;
    }
    std::snprintf(entry->file_name, sizeof entry->file_name, "%s", name);
    std::snprintf(entry->digest, sizeof entry->digest, "%s", digest);
    entry->next = nullptr;
    return entry;
}

bool is_present_file(const char* name) {
    std::error_code error;
    auto status = std::filesystem::status(name, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

void report(verify_event_fn on_event, const wchar_t* text, int event, run_context* ctx) {
    if (on_event) on_event(text, event, ctx);
}

bool digest_length_recognised(const char* digest) {
    size_t length = std::strlen(digest);
    return length == 40 || length == 64;
}

void log_unusable_digest(const char* name) {
    log_message(SEV_ERROR, L"The digest of " OS_NARROW_S L" in hashes.xml is empty or of an unrecognised length", name);
}

// One present file checked against its entry, with the events of the check.
bool verify_entry(const hash_entry& entry, const wchar_t* name, run_context* ctx, verify_event_fn on_event) {
    report(on_event, name, verify_event_verifying, ctx);
    log_message(SEV_INFO, L"%ls :" OS_NARROW_S, name, entry.digest);
    if (!digest_length_recognised(entry.digest)) log_unusable_digest(entry.file_name);
    if (!verify_file_digest(name, entry.digest)) {
        report(on_event, name, verify_event_failed, ctx);
        return false;
    }
    report(on_event, name, verify_event_succeeded, ctx);
    return true;
}
}   // namespace

int on_response_header(const wchar_t* name, const wchar_t* value, run_context* ctx) {
    if (!name || !value || !ctx) return 0;
    char* field = header_field(name, ctx);
    if (!field) return 0;
    log_message(SEV_INFO, L"%ls :%ls", name, value);
    // All three fields have the same capacity; a value that does not fit is left empty rather
    // than cut, so a cut digest or tenant is never taken for the real one.
    if (!os_to_narrow(value, field, sizeof ctx->config_hash))
        log_message(SEV_ERROR, L"The value of %ls does not fit in 127 bytes and was not kept", name);
    return 0;
}

hash_entry* read_hash_manifest(const wchar_t* path) {
    char narrow[hash_entry_capacity];
    if (!path || !os_to_narrow(path, narrow, sizeof narrow)) return nullptr;
    xml_document document(narrow);
    mxml_node_t* list = document.find("sha256");
    if (!list) {
        log_message(SEV_ERROR, L"No sha256 digests could be read from %ls", path);
        return nullptr;
    }
    hash_entries_ptr head;
    hash_entry* tail = nullptr;
    for (mxml_node_t* child = mxmlGetFirstChild(list); child; child = mxmlGetNextSibling(child)) {
        if (mxmlGetType(child) != MXML_ELEMENT) continue;
        bool out_of_memory = false;
        hash_entry* entry = make_entry(child, out_of_memory);
        if (out_of_memory) {
            log_message(SEV_ERROR, L"Error: Memory allocation failed");
            return nullptr;   // head frees what was built
        }
        if (!entry) continue;
        if (tail)
            tail->next = entry;
        else
            head.reset(entry);
        tail = entry;
    }
    if (!head) log_message(SEV_ERROR, L"No sha256 digests could be read from %ls", path);
    return head.release();
}

int keep_trusted_manifest(run_context* ctx, const wchar_t* work_folder) {
    if (!ctx) return 0;
    ctx->manifest.reset();
    if (!work_folder || !*work_folder) return 0;
    std::wstring path = std::wstring(work_folder) + OS_SEP_S L"hashes.xml";
    ctx->manifest.reset(read_hash_manifest(path.c_str()));
    return ctx->manifest ? 1 : 0;
}

int verify_install_files(const hash_entry* manifest, const char* required, run_context* ctx, verify_event_fn on_event) {
    if (!manifest) return 0;
    int result = 0;
    for (const hash_entry* entry = manifest; entry; entry = entry->next) {
        wchar_t name[hash_entry_capacity];
        if (!os_to_wide(entry->file_name, name, hash_entry_capacity) || !is_present_file(entry->file_name)) continue;
        if (!verify_entry(*entry, name, ctx, on_event)) return 0;
        result = 1;
    }
    if (result && required) {
        std::wstring path;
        if (!os_to_wide(std::string(required), path) || !verify_listed_file(manifest, required, path.c_str())) return 0;
    }
    return result;
}

int verify_listed_file(const hash_entry* manifest, const char* name, const wchar_t* path) {
    if (!name || !path) return 0;
    int listed = 0;
    for (const hash_entry* entry = manifest; entry; entry = entry->next) {
        if (!names_top_level_file(entry->file_name, name)) continue;
        ++listed;
        if (!digest_length_recognised(entry->digest)) {
            log_unusable_digest(entry->file_name);
            return 0;
        }
        if (!verify_file_digest(path, entry->digest)) {
            log_message(SEV_ERROR, L"%ls does not match the digest of " OS_NARROW_S L" in hashes.xml", path,
                        entry->file_name);
            return 0;
        }
    }
    if (listed == 0) log_message(SEV_ERROR, L"" OS_NARROW_S L" is not listed in hashes.xml: it is not trusted", name);
    return listed > 0 ? 1 : 0;
}
