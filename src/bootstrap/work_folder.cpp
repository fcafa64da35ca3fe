#include "bootstrap/work_folder.h"

#include <string>
#include <sys/stat.h>
#include <vector>

#include "bootstrap/log.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/bounded_text.h"

namespace {
constexpr size_t delete_path_capacity = 1024;
}

int get_work_folder(wchar_t* out, size_t capacity) {
    std::wstring path;
    if (!out || !os_temp_folder(path)) return 0;
    path += L"HolvenSwiftset";
    if (path.size() >= path_capacity) return 0;
    switch (os_make_private_folder(path)) {
        case os_folder_existed:
            return copy_text(out, capacity, path.c_str()) ? 1 : 0;
        case os_folder_created:
            log_message(SEV_INFO, L"CreateDirectory (%ls)", path.c_str());
            log_message(SEV_INFO, L"Created Directory (%ls) successfully", path.c_str());
            return copy_text(out, capacity, path.c_str()) ? 1 : 0;
        case os_folder_refused:
        case os_folder_failed:
            break;
    }
    log_message(SEV_INFO, L"CreateDirectory (%ls)", path.c_str());
    return 0;
}

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
