// The desktop proxy helper process: drops to the desktop user before anything else, takes that
// user's environment, and answers one question about the user's proxy settings on standard
// output.
#include "os/posix/proxy_helper_posix.h"

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <strings.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "os/helper.h"
#include "os/posix/helper_process_posix.h"
#include "os/posix/proxy_sources_posix.h"

extern char** environ;

bool read_bounded_file(const std::string& path, size_t capacity, std::string& text, bool* missing) {
    text.clear();
    if (missing) *missing = false;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (missing) *missing = errno == ENOENT || errno == ENOTDIR;
        return false;
    }
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= capacity;
    char buffer[8192];
    ssize_t n;
    while (ok && (n = read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 || text.size() + static_cast<size_t>(n) > capacity)
            ok = false;
        else
            text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return ok;
}

namespace {
constexpr size_t kioslaverc_capacity = 256 * 1024;
constexpr size_t gsettings_output_capacity = 64 * 1024;
constexpr const char* gsettings_programs[] = {"/usr/bin/gsettings", "/bin/gsettings", "/usr/local/bin/gsettings"};

enum helper_exit {
    HELPER_OK = 0,
    HELPER_BAD_ARGUMENTS = 2,
    HELPER_NO_IDENTITY = 3,
    HELPER_NO_INPUT = 4,
    HELPER_FAILED = 5
};

// For good: after this the process cannot regain the installer's rights, nor gain others.
bool become_user(const helper_identity& id) {
    if (geteuid() == 0) {
        if (setgroups(id.groups.size(), id.groups.empty() ? nullptr : id.groups.data()) != 0) return false;
        if (setresgid(id.gid, id.gid, id.gid) != 0 || setresuid(id.uid, id.uid, id.uid) != 0) return false;
    }
    uid_t ruid, euid, suid;
    gid_t rgid, egid, sgid;
    if (getresuid(&ruid, &euid, &suid) != 0 || getresgid(&rgid, &egid, &sgid) != 0) return false;
    if (ruid != id.uid || euid != id.uid || suid != id.uid || rgid != id.gid || egid != id.gid || sgid != id.gid)
        return false;
    if (id.uid != 0 && (setuid(0) == 0 || seteuid(0) == 0)) return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
    prctl(PR_SET_PDEATHSIG, SIGKILL);   // cleared by the change of rights, so set after it
    return true;
}

void limit_resources(int seconds) {
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    rlimit cpu{static_cast<rlim_t>(seconds + 2), static_cast<rlim_t>(seconds + 2)};
    setrlimit(RLIMIT_CPU, &cpu);
}

bool read_input(std::string& input, size_t capacity) {
    char buffer[4096];
    for (;;) {
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (input.size() + static_cast<size_t>(n) > capacity) return false;
        input.append(buffer, static_cast<size_t>(n));
    }
}

// The user's environment replaces the helper's own (which is empty but for PATH).
void take_environment(const std::string& entries) {
    clearenv();
    size_t start = 0;
    while (start < entries.size()) {
        size_t end = entries.find('\0', start);
        if (end == std::string::npos) end = entries.size();
        std::string entry = entries.substr(start, end - start);
        start = end + 1;
        size_t equals = entry.find('=');
        if (equals == 0 || equals == std::string::npos) continue;
        setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1);
    }
}

bool write_all(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// A regular file of at most `capacity` bytes; a missing file is empty text and `missing` set.
// A file of the user's that is absent is an empty one.
bool read_user_file(const std::string& path, size_t capacity, std::string& text, bool& missing) {
    return read_bounded_file(path, capacity, text, &missing) || missing;
}

std::string kioslaverc_path() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/kioslaverc";
    const char* home = std::getenv("HOME");
    return home && home[0] == '/' ? std::string(home) + "/.config/kioslaverc" : "";
}

bool read_kde(desktop_proxy_fields& fields) {
    std::string path = kioslaverc_path(), text;
    bool missing = false;
    // No file: KDE's defaults, which name no proxy.
    return !path.empty() && read_user_file(path, kioslaverc_capacity, text, missing) &&
           kde_proxy_settings(text, fields);
}

// `gsettings list-recursively org.gnome.system.proxy` with the user's environment (their
// settings backend, their session bus).
bool run_gsettings(std::string& output) {
    const char* program = nullptr;
    for (const char* candidate : gsettings_programs)
        if (access(candidate, X_OK) == 0) program = candidate;
    if (!program) return false;
    // Room for the whole listing first: nothing may throw between the start and the wait.
    output.reserve(gsettings_output_capacity);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("gsettings"), const_cast<char*>("list-recursively"),
                    const_cast<char*>("org.gnome.system.proxy"), nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    bool ok = rc == 0;
    char buffer[4096];
    ssize_t n;
    while (ok && (n = read(out[0], buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || output.size() + static_cast<size_t>(n) > gsettings_output_capacity)
            ok = false;
        else
            output.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    if (rc != 0) return false;
    int status = 0;
    if (!ok) kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool read_gnome(desktop_proxy_fields& fields) {
    std::string listing;
    return run_gsettings(listing) && gnome_proxy_settings(listing, fields);
}

// Hosts without proxy from no_proxy, as far as they can travel in the reply.
std::string bypass_from_environment() {
    const char* value = std::getenv("no_proxy");
    if (!value || !*value) value = std::getenv("NO_PROXY");
    std::string bypass = value ? value : "";
    std::string out;
    for (char c : bypass) {
        if (c == ',')
            out += ';';
        else if (c != ' ')
            out += c;
    }
    return reply_value_ok(out) ? out : "";
}

int run_mode(int argc, char** argv) {
    std::string mode = argv[0];
    if (mode == "settings" && argc == 5) {
        std::string reply = read_desktop_proxy_settings(argv[4]);
        return !reply.empty() && write_all(reply) ? HELPER_OK : HELPER_FAILED;
    }
    if (mode == "resolve" && argc == 8) {
        std::string reply = resolve_proxy_with_script(argv[5], argv[6], argv[7]);
        return !reply.empty() && write_all(reply) ? HELPER_OK : HELPER_FAILED;
    }
    return HELPER_BAD_ARGUMENTS;
}

// argv: mode, uid, gid, groups, shell image, [url, script, user agent].
int desktop_proxy_helper_main(int argc, char** argv) {
    if (argc < 5) return HELPER_BAD_ARGUMENTS;
    helper_identity id;
    unsigned uid = 0, gid = 0;
    if (!parse_id(argv[1], &uid) || !parse_id(argv[2], &gid) || !parse_group_list(argv[3], id.groups))
        return HELPER_BAD_ARGUMENTS;
    id.uid = uid;
    id.gid = gid;
    if (!become_user(id)) return HELPER_NO_IDENTITY;
    limit_resources(std::string(argv[0]) == "resolve" ? helper_resolve_seconds : helper_settings_seconds);
    std::string environment;
    if (!read_input(environment, helper_environment_capacity)) return HELPER_NO_INPUT;
    take_environment(environment);
    return run_mode(argc, argv);
}
}   // namespace

std::string read_desktop_proxy_settings(const std::string& shell_image) {
    desktop_proxy_fields fields;
    auto lookup = [](const char* name) -> const char* { return std::getenv(name); };
    // The shell's own environment first: the first source that names anything wins.
    std::string from_environment = proxy_list_from_environment(lookup, true);
    bool ok;
    if (!from_environment.empty()) {
        fields.proxy = from_environment;
        fields.bypass = bypass_from_environment();
        ok = reply_value_ok(fields.proxy);
    } else if (strcasecmp(shell_image.c_str(), "plasmashell") == 0) {
        ok = read_kde(fields);
    } else {
        ok = read_gnome(fields);
    }
    return ok ? format_settings_reply(fields) : "";
}

bool os_run_helper(int argc, char** argv, int* exit_code) {
    if (argc < 2 || std::strcmp(argv[1], helper_flag) != 0) return false;
    int code = desktop_proxy_helper_main(argc - 2, argv + 2);
    if (exit_code) *exit_code = code;
    return true;
}
