#include "core/log.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <cwchar>
#include <new>
#include <string>

#include "core/messages.h"
#include "os/console.h"
#include "os/log_file.h"
#include "os/named_lock.h"
#include "os/paths.h"
#include "os/text.h"

namespace {
constexpr char log_mutex_name[] = "HOLVEN_B100C17B-DF56-465A-87BD-7FB310377FB6_LOG_MUTEX";
constexpr size_t max_narrow_path = 255;

// Written only by open_log and close_log, which the driver calls while no other thread logs.
os_log_file_ptr log_file;
os_named_lock_ptr log_mutex;
std::atomic<unsigned> severity_mask{log_default_mask};

// "Www Mmm dd hh:mm:ss yyyy" in English whatever the locale.
std::string time_stamp() {
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    os_local_time(now, local);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s %s %2d %02d:%02d:%02d %4d", days[local.tm_wday % 7],
                  months[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  local.tm_year + 1900);
    return buffer;
}

const char* tag_of(unsigned masked) {
    switch (masked) {
        case SEV_INFO: return "I";
        case SEV_WARNING: return "W";
        case SEV_ERROR: return "E";
        case SEV_DEBUG: return "D";
        default: return " ";
    }
}

bool log_paths(std::string& log_path, std::string& backup_path) {
    std::wstring folder;
    if (!os_temp_folder(folder)) return false;
    folder += L"HolvenLogs";
    std::string why;
    os_folder_result made = os_make_private_folder(folder, &why);
    // A folder we cannot trust or make means no log: the shared temporary folder is no place
    // for a fallback file. Whoever started the run learns why there is none.
    if (made == os_folder_refused) os_console_error("Quenta Swiftset: no log: log folder refused: " + why);
    if (made == os_folder_failed) os_console_error("Quenta Swiftset: no log: cannot make the log folder " + why);
    if (made != os_folder_created && made != os_folder_existed) return false;
    std::wstring base = folder + OS_SEP_S L"HolvenSwiftset";
    if (!os_to_narrow(base + L".log", log_path) || !os_to_narrow(base + L"_backup.log", backup_path)) return false;
    return log_path.size() <= max_narrow_path && backup_path.size() <= max_narrow_path;
}

// One write per line under the mutex: lines of threads and processes never interleave. A mutex
// that cannot be waited for does not cost the line: one O_APPEND write stays whole by itself.
void locked_write(const std::string& data) {
    bool locked = os_named_lock_wait(log_mutex.get()) == 1;
    os_log_file_append(log_file.get(), data);
    if (locked) os_named_lock_release(log_mutex.get());
}

bool breaks_lines(wchar_t c) {
    return (c < 0x20 && c != L'\t') || c == 0x7f || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Names, URLs and replies of peers, relays and servers reach the log through the arguments; a
// line break among them would let a hostile peer write a line of its own. Only the format's
// trailing line breaks are the system's; every other control character is shown escaped.
std::wstring escaped(const std::wstring& message, const wchar_t* format) {
    size_t own = 0;
    for (size_t n = std::wcslen(format); own < n && breaks_lines(format[n - 1 - own]);) ++own;
    own = std::min(own, message.size());
    size_t body = message.size() - own;
    std::wstring out;
    out.reserve(message.size());
    for (size_t i = 0; i < body; ++i) {
        wchar_t c = message[i];
        if (!breaks_lines(c)) {
            out += c;
            continue;
        }
        wchar_t code[12];
        std::swprintf(code, 12, c < 0x100 ? L"\\x%02x" : L"\\u%04x", static_cast<unsigned>(c));
        out += code;
    }
    out.append(message, body, own);
    return out;
}

int write_line(unsigned masked, const wchar_t* format, va_list args) {
    std::wstring message;
    if (!os_format_wide(message, format, args)) message = format;   // keep the line rather than lose it
    message = escaped(message, format);

    std::string line = time_stamp();
    line += '\t';
    line += tag_of(masked);
    line += '\t';
    line += os_to_narrow_lossy(message);
    if (std::wstring(format).find(L'\n') == std::wstring::npos) line += '\n';

    locked_write(line);
    return 1;
}
}   // namespace

int open_log() {
    close_log();
    std::string log_path, backup_path;
    if (log_paths(log_path, backup_path)) {
        long long size = os_rotate_log_file(log_path, backup_path, log_rotate_size);
        std::string why;
        log_mutex.reset(os_named_lock_open(log_mutex_name, &why));
        if (!log_mutex) os_console_error("Quenta Swiftset: no log: " + why);
        if (log_mutex) {
            log_file.reset(os_log_file_open(log_path));
            if (!log_file)
                log_mutex.reset();
            else if (size != 0)
                locked_write("\n");
        }
    }
    select_language();
    return 1;
}

int log_message(unsigned severity, const wchar_t* format, ...) noexcept {
    unsigned masked = severity & severity_mask.load();
    if (masked == 0 || !log_file || !format) return 0;

    va_list args;
    va_start(args, format);
    int written = 0;
    // Without memory the line is lost, not the run: a caller may stand between starting a
    // program and waiting for it.
    try {
        written = write_line(masked, format, args);
    } catch (const std::bad_alloc&) {
        written = 0;
    }
    va_end(args);
    return written;
}

void console_print(const wchar_t* format, ...) {
    std::wstring text;
    va_list args;
    va_start(args, format);
    bool formatted = os_format_wide(text, format, args);
    va_end(args);
    if (!formatted) return;
    os_console_write(text);
}

void set_severity_mask(unsigned mask) { severity_mask.store(mask); }

void close_log() {
    log_file.reset();
    log_mutex.reset();
}
