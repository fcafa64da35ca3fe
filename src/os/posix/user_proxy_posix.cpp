// The desktop user of a shell process (its real uid, gid, groups and environment from /proc),
// and the questions about that user's proxy settings, answered by the helper process with the
// user's rights (proxy_helper_posix.cpp). The machine default is the installer's own
// environment, then /etc/environment.
#include "os/user_proxy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <new>
#include <sstream>

#include "os/posix/helper_process_posix.h"
#include "os/posix/proxy_helper_posix.h"
#include "os/posix/proxy_sources_posix.h"
#include "os/text.h"

struct os_desktop_user {
    helper_identity identity;
    std::string environment;   // NUL-separated NAME=value entries
    std::string image;         // the shell's executable file name
};

namespace {
constexpr size_t status_capacity = 64 * 1024;
constexpr size_t environment_file_capacity = 64 * 1024;

bool read_at(int dir, const char* name, size_t capacity, std::string& text) {
    int fd = openat(dir, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    char buffer[4096];
    ssize_t n;
    bool ok = true;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        size_t room = capacity - text.size();
        text.append(buffer, static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room);
        if (text.size() >= capacity) break;
    }
    if (n < 0) ok = false;
    close(fd);
    return ok;
}

// The real ids and the supplementary groups of /proc/<pid>/status.
bool read_identity(const std::string& status, helper_identity& id) {
    std::istringstream in(status);
    std::string line;
    bool have_uid = false, have_gid = false, have_groups = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        unsigned value = 0;
        std::string word;
        if (key == "Uid:" && fields >> word && parse_id(word, &value)) {
            id.uid = value;
            have_uid = true;
        } else if (key == "Gid:" && fields >> word && parse_id(word, &value)) {
            id.gid = value;
            have_gid = true;
        } else if (key == "Groups:") {
            have_groups = true;
            while (fields >> word) {
                if (!parse_id(word, &value)) return false;
                id.groups.push_back(value);
            }
        }
    }
    return have_uid && have_gid && have_groups;
}

// An environment longer than the helper takes is cut after its last whole entry.
std::string bounded_environment(std::string entries) {
    if (entries.size() <= helper_environment_capacity) return entries;
    size_t last = entries.rfind('\0', helper_environment_capacity - 1);
    return last == std::string::npos ? "" : entries.substr(0, last + 1);
}

std::string image_name(int dir) {
    char target[4096];
    ssize_t n = readlinkat(dir, "exe", target, sizeof target - 1);
    if (n > 0) {
        std::string path(target, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        return path.substr(path.rfind('/') + 1);
    }
    std::string comm;
    read_at(dir, "comm", 64, comm);
    while (!comm.empty() && comm.back() == '\n') comm.pop_back();
    return comm;
}

std::vector<std::string> identity_arguments(const char* mode, const os_desktop_user& user) {
    return {mode, std::to_string(user.identity.uid), std::to_string(user.identity.gid),
            format_group_list(user.identity.groups), user.image.empty() ? "-" : user.image};
}

std::wstring widen_ascii(const std::string& text) { return std::wstring(text.begin(), text.end()); }

const char* lookup_in(const std::map<std::string, std::string>& variables, const char* name) {
    auto found = variables.find(name);
    return found == variables.end() ? nullptr : found->second.c_str();
}

std::string machine_environment_file() {
    std::string text;
    int fd = open("/etc/environment", O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return text;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buffer[4096];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0 && text.size() < environment_file_capacity)
            text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return text.size() <= environment_file_capacity ? text : "";
}
}   // namespace

std::vector<std::wstring> os_default_shell_images() {
    return {L"gnome-shell", L"plasmashell", L"xfce4-session", L"cinnamon", L"mate-session", L"lxqt-session"};
}

os_desktop_user* os_open_process_user(int pid) {
    if (pid <= 0) return nullptr;
    std::string folder = "/proc/" + std::to_string(pid);
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return nullptr;
    // Everything through one descriptor of the process's folder: one process, even if the id
    // is reused meanwhile (reads then fail instead of describing another process).
    std::string status, environment;
    auto* user = new (std::nothrow) os_desktop_user;
    bool ok = user && read_at(dir, "status", status_capacity, status) && read_identity(status, user->identity) &&
              read_at(dir, "environ", helper_environment_capacity + 1, environment);
    if (ok) {
        user->environment = bounded_environment(environment);
        user->image = image_name(dir);
    }
    close(dir);
    if (ok) return user;
    delete user;
    return nullptr;
}

void os_close_desktop_user(os_desktop_user* user) { delete user; }

bool os_read_user_proxy_config(os_desktop_user* user, os_user_proxy_config* out) {
    if (!user || !out) return false;
    helper_result run = run_helper_process(identity_arguments("settings", *user), user->environment,
                                           helper_settings_seconds, helper_reply_capacity);
    desktop_proxy_fields fields;
    if (!run.exited_cleanly || !parse_settings_reply(run.output, fields)) return false;
    out->auto_detect = fields.auto_detect;
    out->auto_config_url = widen_ascii(fields.script);
    out->proxy = widen_ascii(fields.proxy);
    out->bypass = widen_ascii(fields.bypass);
    return true;
}

os_proxy_resolution os_resolve_proxy_for_url(os_desktop_user* user, const std::wstring& url,
                                             const std::wstring& script_url, const std::string& user_agent,
                                             std::wstring& proxies) {
    proxies.clear();
    std::string narrow_url, narrow_script;
    if (!user || !os_to_narrow(url, narrow_url) || !os_to_narrow(script_url, narrow_script) || narrow_url.empty() ||
        !reply_value_ok(narrow_url) || !reply_value_ok(narrow_script))
        return OS_PROXY_NOT_FOUND;
    std::vector<std::string> arguments = identity_arguments("resolve", *user);
    arguments.insert(arguments.end(), {narrow_url, narrow_script.empty() ? "-" : narrow_script, user_agent});
    helper_result run = run_helper_process(arguments, user->environment, helper_resolve_seconds, helper_reply_capacity);
    if (run.timed_out) return OS_PROXY_TIMED_OUT;
    resolve_outcome outcome;
    std::string list;
    if (!run.exited_cleanly || !parse_resolve_reply(run.output, outcome, list)) return OS_PROXY_NOT_FOUND;
    switch (outcome) {
        case RESOLVED_PROXIES: proxies = widen_ascii(list); return OS_PROXY_NAMED;
        case RESOLVED_DIRECT: return OS_PROXY_DIRECT;
        case RESOLVED_NO_ENGINE: return OS_PROXY_NO_ENGINE;
        case RESOLVED_NOT_FOUND: break;
    }
    return OS_PROXY_NOT_FOUND;
}

bool os_read_default_proxy(std::wstring& proxies) {
    std::string list = proxy_list_from_environment([](const char* name) { return std::getenv(name); }, false);
    if (list.empty()) {
        std::map<std::string, std::string> variables = parse_environment_file(machine_environment_file());
        list = proxy_list_from_environment([&](const char* name) { return lookup_in(variables, name); }, false);
    }
    proxies = widen_ascii(list);
    return !list.empty();
}
