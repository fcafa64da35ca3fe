#include "os/host.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <rpc.h>

#include <cwctype>
#include <vector>

#include "os/text.h"
#include "os/win32/winsock_win32.h"

bool os_host_name(std::string& out) {
    char buffer[260] = {};
    if (!winsock_ready() || gethostname(buffer, sizeof buffer - 1) != 0) return false;
    out = buffer;
    return true;
}

namespace {
// getnameinfo with a name required; the record's status, error and name are replaced.
void name_first_address(os_reverse_lookup* lookup, sockaddr* address, int length) {
    char name[1025] = {};
    lookup->getnameinfo_status = getnameinfo(address, length, name, sizeof name, nullptr, 0, NI_NAMEREQD);
    lookup->last_error = WSAGetLastError();
    lookup->name = lookup->getnameinfo_status == 0 ? name : "";
}

addrinfo* first_of(const os_reverse_lookup* lookup) { return static_cast<addrinfo*>(lookup->addresses.get()); }
}   // namespace

void os_reverse_lookup_host(const std::string& host, os_reverse_lookup* out) {
    *out = os_reverse_lookup{};
    if (!winsock_ready()) {
        out->getaddrinfo_status = WSANOTINITIALISED;
        return;
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    out->getaddrinfo_status = getaddrinfo(host.c_str(), nullptr, &hints, &result);
    out->last_error = WSAGetLastError();
    if (out->getaddrinfo_status != 0 || !result) {
        if (out->getaddrinfo_status == 0) out->getaddrinfo_status = EAI_NONAME;
        return;
    }
    // The list outlives this call: the record's diagnostic pointers refer into it.
    out->addresses.reset(result, [](void* list) { freeaddrinfo(static_cast<addrinfo*>(list)); });
    out->address = result->ai_addr;
    out->address_length = static_cast<int>(result->ai_addrlen);
    out->next = result->ai_next;
    out->first_is_ipv6 = result->ai_family == AF_INET6;
    name_first_address(out, result->ai_addr, static_cast<int>(result->ai_addrlen));
}

void os_reverse_lookup_as_ipv4(os_reverse_lookup* lookup) {
    addrinfo* first = lookup ? first_of(lookup) : nullptr;
    if (!first || !first->ai_addr) return;
    first->ai_addr->sa_family = AF_INET;
    name_first_address(lookup, first->ai_addr, static_cast<int>(first->ai_addrlen));
}

os_fqdn_result os_fqdn_from_system(std::wstring& out, int* error) {
    int ignored;
    if (!error) error = &ignored;
    *error = 0;
    DWORD size = 0;
    if (GetComputerNameExW(ComputerNameDnsFullyQualified, nullptr, &size)) return OS_FQDN_FAILED;
    if (GetLastError() != ERROR_MORE_DATA) return OS_FQDN_UNEXPECTED;
    std::vector<wchar_t> buffer(size + 1, L'\0');
    if (!GetComputerNameExW(ComputerNameDnsFullyQualified, buffer.data(), &size)) {
        *error = static_cast<int>(GetLastError());
        return OS_FQDN_FAILED;
    }
    out.assign(buffer.data());
    return out.empty() ? OS_FQDN_FAILED : OS_FQDN_OK;
}

bool os_computer_name(wchar_t* out, size_t capacity) {
    if (!out || capacity == 0) return false;
    out[0] = L'\0';
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size) || size == 0 || size > 15 || size >= capacity) return false;
    for (DWORD i = 0; i < size; ++i) out[i] = static_cast<wchar_t>(std::towupper(name[i]));
    out[size] = L'\0';
    return true;
}

bool os_generate_uuid(std::string& out) {
    UUID uuid;
    RPC_STATUS status = UuidCreate(&uuid);
    if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) return false;
    RPC_CSTR text = nullptr;
    if (UuidToStringA(&uuid, &text) != RPC_S_OK || !text) return false;
    out = reinterpret_cast<const char*>(text);
    RpcStringFreeA(&text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out.size() == 36;
}
