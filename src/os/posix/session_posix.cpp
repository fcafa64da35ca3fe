#include "os/session.h"
#include "os/text.h"

#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

bool os_is_administrator() { return geteuid() == 0; }

bool os_is_noninteractive_session() { return !isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO); }

bool os_get_version(os_version* out) {
    if (!out) return false;
    // Linux kernels are not mapped onto Windows versions: report a supported one.
    out->major = 10;
    out->minor = 0;
    return true;
}

// There is no embedded edition here, and no doubt about it.
os_embedded_answer os_embedded_system() { return OS_EMBEDDED_NO; }

namespace {
struct lcid_entry {
    const char* locale;
    unsigned lcid;
};

const lcid_entry lcid_table[] = {
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105},  {"en_IE", 6153}, {"de_DE", 1031},
    {"de_CH", 2055}, {"de_AT", 3079}, {"de_LU", 4103}, {"fr_FR", 1036},  {"fr_BE", 2060}, {"fr_CA", 3084},
    {"fr_CH", 4108}, {"es_ES", 3082}, {"es_MX", 2058}, {"es_AR", 11274}, {"it_IT", 1040}, {"it_CH", 2064},
    {"pt_BR", 1046}, {"pt_PT", 2070}, {"nl_NL", 1043}, {"nl_BE", 2067},  {"zh_TW", 1028}, {"zh_CN", 2052},
    {"zh_HK", 3076}, {"zh_SG", 4100}, {"cs_CZ", 1029}, {"da_DK", 1030},  {"fi_FI", 1035}, {"ja_JP", 1041},
    {"ko_KR", 1042}, {"nb_NO", 1044}, {"no_NO", 1044}, {"nn_NO", 2068},  {"pl_PL", 1045}, {"ru_RU", 1049},
    {"sv_SE", 1053}, {"sv_FI", 2077}, {"tr_TR", 1055}, {"el_GR", 1032},  {"hu_HU", 1038}, {"uk_UA", 1058},
};

constexpr unsigned primary_language_bits = 0x03FF;
constexpr unsigned first_sublanguage = 0x0400;

// A locale that names only its language ("de", "pt.UTF-8") gets the language's primary
// sub-language, formed as Windows forms it: sub-language 1 over the language id.
unsigned primary_sublanguage(const std::string& language) {
    for (const auto& entry : lcid_table) {
        if (std::strncmp(entry.locale, language.c_str(), language.size()) == 0 && entry.locale[language.size()] == '_')
            return first_sublanguage | (entry.lcid & primary_language_bits);
    }
    return 1033;
}

const char* locale_from_environment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return nullptr;
}
}   // namespace

unsigned os_user_lcid() {
    const char* locale = locale_from_environment();
    if (!locale) return 1033;
    // "de_DE.UTF-8@euro" -> "de_DE"
    std::string key(locale, std::strcspn(locale, ".@"));
    if (key.empty()) return 1033;
    if (key.find('_') == std::string::npos) return primary_sublanguage(key);
    for (const auto& entry : lcid_table) {
        if (key == entry.locale) return entry.lcid;
    }
    return 1033;
}

namespace {
std::mutex args_mutex;
std::vector<std::string> remembered_args;
}   // namespace

void os_remember_arguments(int argc, char** argv) {
    std::lock_guard<std::mutex> guard(args_mutex);
    remembered_args.assign(argv, argv + argc);
}

bool os_get_arguments(std::vector<os_argument>& out) {
    std::lock_guard<std::mutex> guard(args_mutex);
    out.clear();
    for (const auto& arg : remembered_args) {
        os_argument item;
        if (!os_to_wide(arg, item.text)) {
            item.text = os_to_wide_shown(arg);
            item.converted = false;
        }
        out.push_back(std::move(item));
    }
    return !out.empty();
}
