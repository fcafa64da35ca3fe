#include "bootstrap/work_folder.h"

#include <atomic>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "bootstrap/log.h"
#include "os/console.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/bounded_text.h"

namespace {
constexpr size_t delete_path_capacity = 1024;
}

namespace {
std::atomic<bool> refused{false};

// Another user's folder (or a link) in the way fails every run until it is removed: the
// reason goes where an administrator looks, the log and standard error.
void report_refusal(const std::string& why) {
    refused.store(true);
    std::wstring reason;
    if (!os_to_wide(why, reason)) reason = L"(a name this locale cannot express)";
    log_message(SEV_ERROR, L"Work folder refused: %ls", reason.c_str());
    os_console_error("Quenta Swiftset: work folder refused: " + why);
}
}  // namespace

int get_work_folder(wchar_t* out, size_t capacity) {
    std::wstring path;
    if (!out || !os_temp_folder(path)) return 0;
    path += L"HolvenSwiftset";
    if (path.size() >= path_capacity) return 0;
    std::string why;
    switch (os_make_private_folder(path, &why)) {
        case os_folder_existed:
            return copy_text(out, capacity, path.c_str()) ? 1 : 0;
        case os_folder_created:
            log_message(SEV_INFO, L"CreateDirectory (%ls)", path.c_str());
            log_message(SEV_INFO, L"Created Directory (%ls) successfully", path.c_str());
            return copy_text(out, capacity, path.c_str()) ? 1 : 0;
        case os_folder_refused:
            log_message(SEV_INFO, L"CreateDirectory (%ls)", path.c_str());
            report_refusal(why);
            return 0;
        case os_folder_failed:
            break;
    }
    log_message(SEV_INFO, L"CreateDirectory (%ls)", path.c_str());
    return 0;
}

bool work_folder_refused() { return refused.load(); }

int get_module_path(wchar_t* out, size_t capacity) {
    if (!out || capacity == 0) return 0;
    out[0] = L'\0';
    std::wstring wide;
    std::string narrow;
    struct stat st;
    if (os_executable_path(wide) && wide.size() < capacity && os_to_narrow(wide, narrow) &&
        narrow.size() < path_capacity && stat(narrow.c_str(), &st) == 0) {
        return copy_text(out, capacity, wide.c_str()) ? 1 : 0;
    }
    // A path that does not survive the trip through the narrow code page is taken as the
    // system reports it in that code page.
    if (!os_executable_path_narrow(narrow) || narrow.size() >= path_capacity) return 0;
    return os_to_wide(narrow.c_str(), out, capacity) ? 1 : 0;
}

int delete_folder_tree(const wchar_t* folder) {
    if (!folder) return 0;
    std::wstring base = folder;
    if (base.size() > delete_path_capacity - 1) base.resize(delete_path_capacity - 1);
    if (base.empty() || base.back() != os_path_separator) base += os_path_separator;

    std::vector<os_folder_entry> entries;
    if (!os_list_folder(base, entries)) {
        log_message(SEV_INFO, L"FindFirstFile :%ls", (base + L"*.*").c_str());
        return 0;
    }
    for (const auto& entry : entries) {
        std::wstring path = base + entry.name;
        if (entry.is_folder) {
            delete_folder_tree(path.c_str());
        } else if (!os_delete_file(path)) {
            os_delete_at_restart(path);
        }
    }
    if (!os_remove_folder(folder)) os_delete_at_restart(folder);
    return 1;
}
