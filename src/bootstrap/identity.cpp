#include "bootstrap/identity.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "bootstrap/log.h"
#include "os/host.h"
#include "os/registry.h"
#include "os/session.h"
#include "os/text.h"
#include "utils/bounded_text.h"

const char agent_registry_key[] = "Software\\Norvasso\\Lumacore\\Agent";

namespace {
constexpr unsigned suite_embedded = 0x0040;

// Pointers appear in these lines for diagnosis only; the low 32 bits are enough to tell apart.
unsigned pointer_bits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

void log_lookup(const wchar_t* which, const os_reverse_lookup& r, const wchar_t* tail) {
    std::wstring format = std::wstring(which) +
                          L"(res->ai_addr=0x%x, res->ai_addrlen=%d, res->ai_next=0x%x) returned %d last error=%d" + tail;
    log_message(SEV_INFO, format.c_str(), pointer_bits(r.address), r.address_length, pointer_bits(r.next),
                r.getnameinfo_status, r.last_error);
}

// Reverse lookup of the host's first address; empty when there is no name.
std::string name_by_reverse_lookup(const std::string& host) {
    os_reverse_lookup first;
    os_reverse_lookup_host(host, false, &first);
    if (first.getaddrinfo_status != 0) {
        log_message(SEV_INFO, L"getaddrinfo returned %d last error=%d", first.getaddrinfo_status, first.last_error);
        return {};
    }
    if (first.getnameinfo_status == 0) {
        if (first.name.empty()) log_lookup(L"getnameinfo1", first, L" addr is empty");
        return first.name;
    }
    os_version version;
    bool have_version = os_get_version(&version);
    if (have_version && (version.suite_mask & suite_embedded)) {
        log_message(SEV_INFO, L"get_is_embedded, returning TRUE");
        if (!first.first_is_ipv6) return {};
        os_reverse_lookup second;
        os_reverse_lookup_host(host, true, &second);
        if (second.getnameinfo_status != 0) log_lookup(L"getnameinfo3", second, L"");
        else if (second.name.empty()) log_lookup(L"getnameinfo2", second, L" addr is empty");
        return second.name;
    }
    if (have_version && version.suite_mask != 0) log_message(SEV_INFO, L"get_is_embedded, returning FALSE");
    log_lookup(L"getnameinfo", first, L"");
    return {};
}
}  // namespace

int get_fqdn(wchar_t* out, size_t capacity) {
    if (!out || capacity == 0) return 0;
    std::string host;
    if (!os_host_name(host)) {
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
    if (!os_fqdn_from_system(name) || name.empty()) {
        log_message(SEV_INFO, L"GetComputerNameEx - unexpected error code");
        return 0;
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
