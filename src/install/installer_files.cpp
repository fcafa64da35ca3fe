#include "install/installer_files.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "config/hash_manifest.h"
#include "core/log.h"
#include "os/file_move.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/registry.h"
#include "os/service_access.h"
#include "os/text.h"
#include "platform/access_control.h"
#include "utils/printable_name.h"

namespace {
const char framework_key[] = "SOFTWARE\\Norvasso\\Vantor\\Shared Components\\Framework";
const char service_account[] = "qzcmnsvc";
constexpr size_t path_capacity = 260;
constexpr char separator = static_cast<char>(os_path_separator);

std::string join(const std::string& folder, const char* name) { return folder + separator + name; }

// Text in the user's code page of fewer than 260 bytes; any other value counts as absent.
std::string read_agent_data_path() {
    os_registry_type type = OS_REG_OTHER;
    std::string data;
    if (os_registry_read(framework_key, "Data Path", &type, &data) != OS_REG_FOUND || type != OS_REG_SZ) return {};
    std::wstring wide;
    std::string narrow;
    if (data.find('\0') != std::string::npos || !os_wide_from_utf8(data, wide) || !os_to_narrow(wide, narrow))
        return {};
    return narrow.size() < path_capacity ? narrow : std::string();
}

// A folder path that would not fit the path buffers names no folder: cut short, it would
// name another one.
bool installer_files_folder_exists(const std::string& folder) {
    std::error_code error;
    return folder.size() < path_capacity && std::filesystem::is_directory(folder, error);
}

// The digest becomes part of a file name: anything but hexadecimal digits could lead out of
// the folder or name another file.
bool is_hex_digest(const char* digest) {
    if (!*digest) return false;
    for (const char* c = digest; *c; ++c) {
        bool hex = (*c >= '0' && *c <= '9') || (*c >= 'a' && *c <= 'f') || (*c >= 'A' && *c <= 'F');
        if (!hex) return false;
    }
    return true;
}

void add_exception(access_control_session* session, const std::string& path) {
    std::wstring wide;
    std::string utf8;
    if (os_to_wide(path, wide) && os_utf8_from_wide(wide, utf8)) add_access_exception(session, utf8.c_str());
}

// Moves the listed files that are in the work folder; the first failed move ends the walk and
// leaves the remaining files where they are.
void move_listed_files(const hash_entry* entries, const std::string& work_folder, const std::string& folder,
                       access_control_session* session) {
    for (const hash_entry* entry = entries; entry; entry = entry->next) {
        std::string source = join(work_folder, entry->file_name);
        if (!os_is_file(source)) continue;
        if (!is_hex_digest(entry->digest)) {
            log_message(SEV_ERROR, L"Not moving " OS_NARROW_S L": its digest in hashes.xml is not hexadecimal",
                        printable_name(entry->file_name).c_str());
            continue;
        }
        std::string target = join(folder, entry->digest) + "_" + entry->file_name;
        add_exception(session, target);
        if (!move_file_with_service_access(source.c_str(), target.c_str())) return;
    }
}
}   // namespace

int move_file_with_service_access(const char* source, const char* target) {
    int error = 0;
    if (!os_move_file_replacing(source, target, &error)) {
        log_message(SEV_DEBUG, L"MoveFile [" OS_NARROW_S L"] to [" OS_NARROW_S L"] returned %d",
                    printable_name(source).c_str(), printable_name(target).c_str(), error);
        return 0;
    }
    os_grant_account_file_access(target, service_account);
    return 1;
}

int move_installer_files(const char* work_folder) {
    std::string data_path = read_agent_data_path();
    std::string folder = join(join(data_path, "data"), "InstallerFiles");
    std::string source_manifest = work_folder && *work_folder ? join(work_folder, "hashes.xml") : std::string();
    std::string target_manifest = join(folder, "hashes.xml");
    if (data_path.empty() || source_manifest.empty()) return 1;
    if (!installer_files_folder_exists(folder)) {
        log_message(SEV_INFO, L"Installer Files folder does not exist");
        return 1;
    }
    log_message(SEV_INFO, L"Installer Files folder exists");

    std::wstring wide_manifest;
    if (!os_to_wide(source_manifest, wide_manifest)) return 0;
    hash_entries_ptr entries(read_hash_manifest(wide_manifest.c_str()));
    if (!entries) return 0;
    access_control_session_ptr session(open_access_control_session());
    move_listed_files(entries.get(), work_folder, folder, session.get());
    entries.reset();
    add_exception(session.get(), target_manifest);
    return move_file_with_service_access(source_manifest.c_str(), target_manifest.c_str()) ? 1 : 0;
}
