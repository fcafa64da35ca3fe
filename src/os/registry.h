// The machine-wide configuration store of installed software (the registry, HKEY_LOCAL_MACHINE).
// Keys are paths like "Software\\Norvasso\\Lumacore\\Agent" ('\\' or '/' separated); key and
// value names match case-insensitively. Windows: always the 32-bit view, where the 32-bit agent
// records itself; POSIX has no views.
#pragma once

#include <string>

enum os_registry_type {
    OS_REG_SZ,
    OS_REG_EXPAND_SZ,
    OS_REG_MULTI_SZ,
    OS_REG_DWORD,
    OS_REG_BINARY,
    OS_REG_OTHER,
};

enum os_registry_status {
    OS_REG_FOUND,
    OS_REG_NO_KEY,
    OS_REG_NO_VALUE,
    OS_REG_READ_FAILED,
};

// Reads a value's type and data. Text values come back as the stored UTF-8 without a
// terminator; REG_MULTI_SZ items are separated by NUL.
os_registry_status os_registry_read(const std::string& key, const std::string& value, os_registry_type* type,
                                    std::string* data);

// Writes a value, creating the key. For tools, tests and the demo agent installer.
bool os_registry_write(const std::string& key, const std::string& value, os_registry_type type,
                       const std::string& data);
