#include "core/identity.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "core/identity_testing.h"
#include "core/log.h"
#include "os/host.h"
#include "os/registry.h"
#include "os/session.h"
#include "os/text.h"
#include "utils/bounded_text.h"

const char agent_registry_key[] = "Software\\Norvasso\\Lumacore\\Agent";

namespace {
const host_identity_calls system_calls = {os_host_name, os_reverse_lookup_host, os_reverse_lookup_as_ipv4,
                                          os_embedded_system, os_fqdn_from_system};
const host_identity_calls* calls = &system_calls;

// Pointers appear in these lines for diagnosis only; the low 32 bits are enough to tell apart.
unsigned pointer_bits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

void log_lookup(const wchar_t* which, const os_reverse_lookup& r, const wchar_t* tail) {
    std::wstring format = std::wstring(which) +
                          L"(res->ai_addr=0x%x, res->ai_addrlen=%d, res->ai_next=0x%x) returned %d last error=%d" +
                          tail;
    log_message(SEV_INFO, format.c_str(), pointer_bits(r.address), r.address_length, pointer_bits(r.next),
                r.getnameinfo_status, r.last_error);
}

// An embedded system names hosts by IPv4 only: an IPv6 first address is asked again as IPv4.
std::string name_by_ipv4_retry(os_reverse_lookup& lookup) {
    if (!lookup.first_is_ipv6) return {};
    calls->reverse_lookup_as_ipv4(&lookup);
    if (lookup.getnameinfo_status != 0)
        log_lookup(L"getnameinfo3", lookup, L"");
    else if (lookup.name.empty())
        log_lookup(L"getnameinfo2", lookup, L" addr is empty");
    return lookup.getnameinfo_status == 0 ? lookup.name : std::string();
}

std::string name_after_failed_lookup(os_reverse_lookup& lookup) {
    switch (calls->embedded_system()) {
        case OS_EMBEDDED_YES:
            log_message(SEV_INFO, L"get_is_embedded, returning TRUE");
            return name_by_ipv4_retry(lookup);
        case OS_EMBEDDED_NO: log_message(SEV_INFO, L"get_is_embedded, returning FALSE"); break;
        case OS_EMBEDDED_UNKNOWN: break;
    }
    log_lookup(L"getnameinfo", lookup, L"");
    return {};
}

// Reverse lookup of the host's first address; empty when there is no name.
std::string name_by_reverse_lookup(const std::string& host) {
    os_reverse_lookup lookup;
    calls->reverse_lookup(host, &lookup);
    if (lookup.getaddrinfo_status != 0) {
        log_message(SEV_INFO, L"getaddrinfo returned %d last error=%d", lookup.getaddrinfo_status, lookup.last_error);
        return {};
    }
    if (lookup.getnameinfo_status != 0) return name_after_failed_lookup(lookup);
    if (lookup.name.empty()) log_lookup(L"getnameinfo1", lookup, L" addr is empty");
    return lookup.name;
}
}   // namespace

void set_host_identity_calls(const host_identity_calls* replacement) {
    calls = replacement ? replacement : &system_calls;
}

int get_fqdn(wchar_t* out, size_t capacity) {
    if (!out || capacity == 0) return 0;
    std::string host;
    if (!calls->host_name(host)) {
        log_message(SEV_INFO, L"Unable to retreive hostname");
        return get_fqdn_from_system(out, capacity);
    }
    std::string name = name_by_reverse_lookup(host);
    if (name.size() > 259) name.resize(259);
    if (!os_to_wide(name.c_str(), out, capacity) || out[0] == L'\0') return get_fqdn_from_system(out, capacity);
    return 1;
}

int get_fqdn_from_system(wchar_t* out, size_t capacity) {
    std::wstring name;
    if (!out || capacity == 0) return 0;
    int error = 0;
    switch (calls->fqdn_from_system(name, &error)) {
        case OS_FQDN_OK:
            if (!name.empty()) break;
            log_message(SEV_INFO, L"GetComputerNameEx failed %d", error);
            return 0;
        case OS_FQDN_FAILED: log_message(SEV_INFO, L"GetComputerNameEx failed %d", error); return 0;
        case OS_FQDN_UNEXPECTED: log_message(SEV_INFO, L"GetComputerNameEx - unexpected error code"); return 0;
    }
    log_message(SEV_INFO, L"DNS fully-qualified: %ls", name.c_str());
    if (name.size() > 259) name.resize(259);
    if (name.size() >= capacity) name.resize(capacity - 1);
    std::wmemset(out, L'\0', capacity);
    std::wmemcpy(out, name.c_str(), name.size());
    log_message(SEV_INFO, L"DNS fully-qualified - output: %ls", out);
    return 1;
}

int generate_agent_guid(wchar_t* out, size_t capacity) {
    std::string uuid;
    if (!out || !os_generate_uuid(uuid)) return 0;
    return os_to_wide(uuid.c_str(), out, capacity) ? 1 : 0;
}

int read_agent_guid(wchar_t* out, size_t* capacity) {
    if (!capacity) return 0;
    os_registry_type type;
    std::string data;
    if (os_registry_read(agent_registry_key, "AgentGUID", &type, &data) != OS_REG_FOUND) return 0;
    if (type != OS_REG_SZ) return 1;
    std::wstring text;
    if (!os_wide_from_utf8(data, text)) return 0;
    size_t needed = text.size() + 1;
    if (out && *capacity >= needed) std::wmemcpy(out, text.c_str(), needed);
    *capacity = needed;
    return 1;
}

int read_tenant_id(char* out, size_t* capacity) {
    if (!capacity) return 0;
    os_registry_type type;
    std::string data;
    if (os_registry_read(agent_registry_key, "TenantId", &type, &data) != OS_REG_FOUND) return 0;
    if (type != OS_REG_SZ) return 1;
    std::string narrow;
    std::wstring wide;
    // Stored as UTF-8; the caller wants the user's code page.
    if (!os_wide_from_utf8(data, wide) || !os_to_narrow(wide, narrow)) return 0;
    size_t needed = narrow.size() + 1;
    if (out && *capacity >= needed) std::memcpy(out, narrow.c_str(), needed);
    *capacity = needed;
    return 1;
}

void strip_guid_braces(wchar_t* guid) {
    if (!guid || guid[0] != L'{' || std::wcslen(guid) < 38 || guid[37] != L'}') return;
    std::wmemmove(guid, guid + 1, 36);
    guid[36] = L'\0';
}
