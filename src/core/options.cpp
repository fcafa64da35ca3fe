#include "core/options.h"

#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "core/log.h"
#include "core/messages.h"
#include "os/console.h"
#include "os/text.h"

namespace {
std::unique_ptr<std::string> slots[OPTION_SLOT_COUNT];
unsigned proxy_bits = 0;

constexpr wchar_t option_letters[] = L"c:d:i:ga:p:u:w:ksvfhD?";

bool valid_slot(int slot) { return slot >= 0 && slot < OPTION_SLOT_COUNT; }

// Where a letter sits in the option string; null for an unknown letter or ':'.
const wchar_t* find_letter(wchar_t letter) {
    if (letter == L':' || letter == L'\0') return nullptr;
    return std::wcschr(option_letters, letter);
}

bool takes_value(const wchar_t* entry) { return entry[1] == L':'; }

void reject(const wchar_t* line) {
    if (line) log_message(SEV_INFO, line);
    show_usage();
}

// Applies one letter. The value is set only for letters that take one.
void apply_letter(wchar_t letter, const wchar_t* value) {
    switch (letter) {
        case L'c': set_option(OPT_CONINFO_PATH, value); break;
        case L'd': set_option(OPT_DATA_PATH, value); break;
        case L'i': set_option(OPT_INSTALL_PATH, value); break;
        case L'a':
            set_option(OPT_PROXY_ADDRESS, value);
            proxy_bits |= PROXY_GIVEN_ADDRESS;
            break;
        case L'p':
            set_option(OPT_PROXY_PORT, value);
            proxy_bits |= PROXY_GIVEN_PORT;
            break;
        case L'u':
            set_option(OPT_PROXY_USER, value);
            proxy_bits |= PROXY_GIVEN_USER;
            break;
        case L'w':
            set_option(OPT_PROXY_PASSWORD, value);
            proxy_bits |= PROXY_GIVEN_PASSWORD;
            break;
        case L'g': set_option(OPT_DEBUG_LOG, L"1"); break;
        case L'k': set_option(OPT_NO_PEER_VERIFICATION, L"1"); break;
        case L's': set_option(OPT_SILENT, L"1"); break;
        case L'v': set_option(OPT_VDI_MODE, L" /enableVDIMode"); break;
        case L'f': set_option(OPT_FORCE_INSTALL, L" /ForceInstall"); break;
        case L'D': set_option(OPT_DELAY_START, L" /DelayStart"); break;
        case L'h':
            set_option(OPT_FORCE_INSTALL, L" /ForceInstall");
            set_option(OPT_KEEP_GUID, L" /keepguid");
            break;
        default: break;
    }
}

enum class parse_step { go_on, stop };

// Reads the option clusters with the classic getopt rules; `next` ends at the first argument
// that is not an option.
parse_step read_options(int argc, const wchar_t* const* argv, int& next) {
    next = 1;
    while (next < argc) {
        const wchar_t* arg = argv[next];
        if (std::wcscmp(arg, L"--") == 0) {
            ++next;
            break;
        }
        if (arg[0] != L'-' || arg[1] == L'\0') break;
        ++next;
        for (const wchar_t* p = arg + 1; *p; ++p) {
            const wchar_t* entry = find_letter(*p);
            if (!entry) {
                reject(L"Unsupported command line option");
                return parse_step::stop;
            }
            if (*p == L'?') {
                show_usage();
                return parse_step::stop;
            }
            if (!takes_value(entry)) {
                apply_letter(*p, nullptr);
                continue;
            }
            const wchar_t* value = p + 1;
            if (*value == L'\0') {
                if (next >= argc) {
                    reject(L"Unsupported command line option");
                    return parse_step::stop;
                }
                value = argv[next++];
            }
            apply_letter(*p, value);
            break;
        }
    }
    return parse_step::go_on;
}

parse_step judge_proxy_bits() {
    switch (proxy_bits) {
        case 0: log_message(SEV_INFO, L"Proxy information not provided via commandline"); break;
        case 3: log_message(SEV_INFO, L"Proxy IP address and Proxy port provided via commandline"); break;
        case 12: log_message(SEV_INFO, L"Proxy Username and password provided via commandline"); break;
        case 15:
            log_message(SEV_INFO, L"Proxy IP address ,port , Username and password provided via commandline");
            break;
        default: reject(L"Incorrect Proxy information provided via commandline"); return parse_step::stop;
    }
    return parse_step::go_on;
}
}   // namespace

int set_option(int slot, const wchar_t* text) {
    if (!valid_slot(slot) || !text || !*text) return 0;
    std::string utf8;
    if (!os_utf8_from_wide(text, utf8) || utf8.empty()) return 0;
    auto copy = std::unique_ptr<std::string>(new (std::nothrow) std::string(std::move(utf8)));
    if (!copy) return 0;
    slots[slot] = std::move(copy);
    return 1;
}

int get_option(int slot, wchar_t* buffer, size_t* capacity) {
    if (!capacity || !valid_slot(slot) || !slots[slot]) return 0;
    std::wstring wide;
    if (!os_wide_from_utf8(*slots[slot], wide)) return 0;
    size_t needed = wide.size() + 1;
    if (buffer && *capacity >= needed) std::wmemcpy(buffer, wide.c_str(), needed);
    *capacity = needed;
    return 1;
}

const char* get_option_utf8(int slot) {
    if (!valid_slot(slot) || !slots[slot]) return nullptr;
    return slots[slot]->c_str();
}

void free_options() {
    for (auto& slot : slots) slot.reset();
}

unsigned get_proxy_presence_bits() { return proxy_bits; }

int parse_command_line(int argc, const wchar_t* const* argv) {
    set_option(OPT_DEBUG_LOG, L"1");
    if (argc <= 1 || !argv) return 1;

    proxy_bits = 0;
    free_options();
    set_option(OPT_DEBUG_LOG, L"1");

    int next = 1;
    if (read_options(argc, argv, next) == parse_step::stop) return 0;
    if (judge_proxy_bits() == parse_step::stop) return 0;
    if (next < argc) {
        for (int i = next; i < argc; ++i) log_message(SEV_INFO, L"Invalid option %ls ", argv[i]);
        show_usage();
        return 0;
    }
    return 1;
}

void show_usage() {
    std::wstring text = get_message_text(MSG_HELP_TEXT);
    std::wstring title = get_message_text(MSG_HELP_TITLE);
    if (title.size() > 255) title.clear();
    os_message_box(title, text);
}
