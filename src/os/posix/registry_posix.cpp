// The store is a folder tree: $QSW_REGISTRY_ROOT (default /etc/opt/quenta/registry), then
// "HKEY_LOCAL_MACHINE", then one folder per key component; a value is a file
// "<value name>.<TYPE>" holding its data.
#include "os/registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace {
struct type_name {
    os_registry_type type;
    const char* suffix;
};
const type_name type_names[] = {
    {OS_REG_SZ, "REG_SZ"},       {OS_REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {OS_REG_MULTI_SZ, "REG_MULTI_SZ"},
    {OS_REG_DWORD, "REG_DWORD"}, {OS_REG_BINARY, "REG_BINARY"},
};

struct dir_closer {
    void operator()(DIR* d) const noexcept { closedir(d); }
};

std::string store_root() {
    const char* env = std::getenv("QSW_REGISTRY_ROOT");
    std::string root = (env && *env) ? env : "/etc/opt/quenta/registry";
    return root + "/HKEY_LOCAL_MACHINE";
}

std::vector<std::string> key_components(const std::string& key) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : key) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

bool is_directory(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entry of `folder` whose name equals `name` ignoring case; empty when none.
std::string find_entry(const std::string& folder, const std::string& name, bool want_folder) {
    std::unique_ptr<DIR, dir_closer> dir(opendir(folder.c_str()));
    if (!dir) return {};
    while (dirent* entry = readdir(dir.get())) {
        if (strcasecmp(entry->d_name, name.c_str()) != 0) continue;
        std::string path = folder + "/" + entry->d_name;
        if (is_directory(path) == want_folder) return path;
    }
    return {};
}

// Resolves the key's folder; with `create`, makes the missing components.
std::string key_folder(const std::string& key, bool create) {
    std::string folder = store_root();
    if (create) {
        std::string partial;
        for (const auto& part : key_components(folder)) {
            partial += "/" + part;
            mkdir(partial.c_str(), 0755);
        }
    }
    if (!is_directory(folder)) return {};
    for (const auto& part : key_components(key)) {
        std::string next = find_entry(folder, part, true);
        if (next.empty()) {
            if (!create) return {};
            next = folder + "/" + part;
            if (mkdir(next.c_str(), 0755) != 0 && errno != EEXIST) return {};
        }
        folder = next;
    }
    return folder;
}

// The value file in `folder` and its type; empty when the value does not exist.
std::string find_value(const std::string& folder, const std::string& value, os_registry_type* type) {
    std::unique_ptr<DIR, dir_closer> dir(opendir(folder.c_str()));
    if (!dir) return {};
    while (dirent* entry = readdir(dir.get())) {
        std::string file = entry->d_name;
        size_t dot = file.rfind('.');
        if (dot == std::string::npos || dot != value.size()) continue;
        if (strncasecmp(file.c_str(), value.c_str(), value.size()) != 0) continue;
        std::string suffix = file.substr(dot + 1);
        os_registry_type found = OS_REG_OTHER;
        for (const auto& t : type_names) {
            if (suffix == t.suffix) found = t.type;
        }
        if (type) *type = found;
        return folder + "/" + file;
    }
    return {};
}

const char* suffix_of(os_registry_type type) {
    for (const auto& t : type_names) {
        if (t.type == type) return t.suffix;
    }
    return "REG_NONE";
}
}   // namespace

os_registry_status os_registry_read(const std::string& key, const std::string& value, os_registry_type* type,
                                    std::string* data) {
    std::string folder = key_folder(key, false);
    if (folder.empty()) return OS_REG_NO_KEY;
    os_registry_type found = OS_REG_OTHER;
    std::string file = find_value(folder, value, &found);
    if (file.empty()) return OS_REG_NO_VALUE;
    if (type) *type = found;
    if (data) {
        std::ifstream in(file, std::ios::binary);
        if (!in) return OS_REG_READ_FAILED;
        std::ostringstream text;
        text << in.rdbuf();
        *data = text.str();
    }
    return OS_REG_FOUND;
}

bool os_registry_write(const std::string& key, const std::string& value, os_registry_type type,
                       const std::string& data) {
    std::string folder = key_folder(key, true);
    if (folder.empty() || value.empty()) return false;
    std::string old = find_value(folder, value, nullptr);
    if (!old.empty()) unlink(old.c_str());
    std::ofstream out(folder + "/" + value + "." + suffix_of(type), std::ios::binary | std::ios::trunc);
    out << data;
    return static_cast<bool>(out.flush());
}
