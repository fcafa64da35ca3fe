// HKEY_LOCAL_MACHINE through the 32-bit registry view: the agent and its framework are 32-bit
// programs that record themselves there, and on 64-bit Windows this 64-bit program would
// otherwise read the 64-bit view and miss them. Text values are stored as UTF-16 and handed
// over as UTF-8.
#include "os/registry.h"

#include <windows.h>

#include <vector>

#include "os/text.h"

namespace {
constexpr REGSAM registry_view = KEY_WOW64_32KEY;
constexpr DWORD largest_value = 1 << 20;   // more than any value the installer reads

std::wstring key_path(const std::string& key) {
    std::wstring wide;
    if (!os_wide_from_utf8(key, wide)) return {};
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    return wide;
}

os_registry_type type_of(DWORD type) {
    switch (type) {
        case REG_SZ: return OS_REG_SZ;
        case REG_EXPAND_SZ: return OS_REG_EXPAND_SZ;
        case REG_MULTI_SZ: return OS_REG_MULTI_SZ;
        case REG_DWORD: return OS_REG_DWORD;
        case REG_BINARY: return OS_REG_BINARY;
        default: return OS_REG_OTHER;
    }
}

DWORD windows_type(os_registry_type type) {
    switch (type) {
        case OS_REG_SZ: return REG_SZ;
        case OS_REG_EXPAND_SZ: return REG_EXPAND_SZ;
        case OS_REG_MULTI_SZ: return REG_MULTI_SZ;
        case OS_REG_DWORD: return REG_DWORD;
        default: return REG_BINARY;
    }
}

bool is_text(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// UTF-16 text data as UTF-8, without the terminator(s) the store may or may not hold.
bool text_from_data(const std::vector<BYTE>& bytes, DWORD type, std::string& out) {
    std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
    if (type != REG_MULTI_SZ) wide = wide.c_str();   // a single text ends at its first NUL
    return os_utf8_from_wide(wide, out);
}

os_registry_status read_value(HKEY key, const std::wstring& name, os_registry_type* type, std::string* data) {
    DWORD kind = 0, size = 0;
    LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &kind, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return OS_REG_NO_VALUE;
    if (rc != ERROR_SUCCESS || size > largest_value) return OS_REG_READ_FAILED;
    std::vector<BYTE> bytes(size + sizeof(wchar_t));
    rc = RegQueryValueExW(key, name.c_str(), nullptr, &kind, bytes.data(), &size);
    if (rc != ERROR_SUCCESS) return OS_REG_READ_FAILED;
    bytes.resize(size);
    if (type) *type = type_of(kind);
    if (!data) return OS_REG_FOUND;
    if (!is_text(kind)) {
        data->assign(bytes.begin(), bytes.end());
        return OS_REG_FOUND;
    }
    return text_from_data(bytes, kind, *data) ? OS_REG_FOUND : OS_REG_READ_FAILED;
}
}   // namespace

os_registry_status os_registry_read(const std::string& key, const std::string& value, os_registry_type* type,
                                    std::string* data) {
    std::wstring path = key_path(key), name;
    if (path.empty() || !os_wide_from_utf8(value, name)) return OS_REG_NO_KEY;
    HKEY opened = nullptr;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | registry_view, &opened);
    if (rc == ERROR_FILE_NOT_FOUND) return OS_REG_NO_KEY;
    if (rc != ERROR_SUCCESS) return OS_REG_READ_FAILED;
    os_registry_status status = read_value(opened, name, type, data);
    RegCloseKey(opened);
    return status;
}

bool os_registry_write(const std::string& key, const std::string& value, os_registry_type type,
                       const std::string& data) {
    std::wstring path = key_path(key), name, text;
    if (path.empty() || !os_wide_from_utf8(value, name)) return false;
    std::vector<BYTE> bytes(data.begin(), data.end());
    DWORD kind = windows_type(type);
    if (is_text(kind)) {
        if (!os_wide_from_utf8(data, text)) return false;
        text.push_back(L'\0');
        if (kind == REG_MULTI_SZ) text.push_back(L'\0');
        const auto* raw = reinterpret_cast<const BYTE*>(text.data());
        bytes.assign(raw, raw + text.size() * sizeof(wchar_t));
    }
    HKEY opened = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | registry_view, nullptr,
                        &opened, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(opened, name.c_str(), 0, kind, bytes.data(), static_cast<DWORD>(bytes.size()));
    RegCloseKey(opened);
    return rc == ERROR_SUCCESS;
}
