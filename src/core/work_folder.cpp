#include "core/work_folder.h"

#include <atomic>
#include <string>
#include <vector>

#include "core/log.h"
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
}   // namespace

int get_work_folder(wchar_t* out, size_t capacity) {
    std::wstring path;
    if (!out || !os_temp_folder(path)) return 0;
    path += L"HolvenSwiftset";
    if (path.size() >= path_capacity) return 0;
    std::string why;
    switch (os_make_private_folder(path, &why)) {
        case os_folder_existed: return copy_text(out, capacity, path.c_str()) ? 1 : 0;
        case os_folder_created:
            log_message(SEV_INFO, L"CreateDirectory (%ls)", path.c_str());
            log_message(SEV_INFO, L"Created Directory (%ls) successfully", path.c_str());
            return copy_text(out, capacity, path.c_str()) ? 1 : 0;
        case os_folder_refused:
            log_message(SEV_INFO, L"CreateDirectory (%ls)", path.c_str());
            report_refusal(why);
            return 0;
        case os_folder_failed: break;
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
    if (os_executable_path(wide) && wide.size() < capacity && os_to_narrow(wide, narrow) &&
        narrow.size() < path_capacity && os_is_file(narrow)) {
        return copy_text(out, capacity, wide.c_str()) ? 1 : 0;
    }
    // A path the locale cannot express is shown with its odd bytes escaped; what needs the
    // file itself takes get_module_path_bytes.
    if (!get_module_path_bytes(narrow)) return 0;
    return copy_text(out, capacity, os_to_wide_shown(narrow).c_str()) ? 1 : 0;
}

int get_module_path_bytes(std::string& out) {
    return os_executable_path_narrow(out) && out.size() < path_capacity ? 1 : 0;
}

namespace {
// Each level holds a descriptor; a tree deeper than any package makes is left where it ends.
constexpr int max_delete_depth = 256;

void log_listing_failure(const std::wstring& folder) {
    log_message(SEV_INFO, L"FindFirstFile :%ls", (folder + L"*.*").c_str());
}

// Empties `folder` (shown as `shown`, ending in the separator) through its descriptor: names
// are used as the file system gives them, including those the locale cannot express.
void empty_folder(os_folder* folder, const std::wstring& shown, int depth) {
    std::vector<os_folder_entry> entries;
    if (!os_read_folder(folder, entries)) {
        log_listing_failure(shown);
        return;
    }
    for (const auto& entry : entries) {
        std::wstring path = shown + entry.shown;
        if (!entry.is_folder) {
            if (!os_delete_in_folder(folder, entry.name)) os_delete_at_restart(path);
            continue;
        }
        os_folder* sub = depth < max_delete_depth ? os_open_subfolder(folder, entry.name) : nullptr;
        if (!sub) {
            log_listing_failure(path + os_path_separator);
            continue;
        }
        empty_folder(sub, path + os_path_separator, depth + 1);
        os_close_folder(sub);
        if (!os_remove_subfolder(folder, entry.name)) os_delete_at_restart(path);
    }
}
}   // namespace

int delete_folder_tree(const wchar_t* folder) {
    if (!folder) return 0;
    std::wstring base = folder;
    if (base.size() > delete_path_capacity - 1) base.resize(delete_path_capacity - 1);
    if (base.empty() || base.back() != os_path_separator) base += os_path_separator;

    os_folder* top = os_open_folder(base);
    if (!top) {
        log_listing_failure(base);
        return 0;
    }
    empty_folder(top, base, 1);
    os_close_folder(top);
    if (!os_remove_folder(folder)) os_delete_at_restart(folder);
    return 1;
}
