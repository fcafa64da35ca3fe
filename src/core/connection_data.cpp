#include "core/connection_data.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "core/dialog.h"
#include "core/file_digest.h"
#include "core/log.h"
#include "core/messages.h"
#include "core/options.h"
#include "core/run_context.h"
#include "core/work_folder.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "utils/bounded_text.h"
#include "utils/file_ptr.h"

namespace {
constexpr size_t half_size = 20;
constexpr size_t narrow_path_capacity = 260;
constexpr size_t work_folder_limit = 248;
constexpr size_t copy_block = 64 * 1024;


// One 20-byte half "<xx>digits</xx>": the digits after the opening tag, or 0 when the half is
// not whole. `need_all_bytes` is the length half's stricter test (no zero byte anywhere).
uint64_t read_half(const char* half, const char* open_tag, const char* close_tag, bool need_all_bytes) {
    char text[half_size + 1] = {};
    std::memcpy(text, half, half_size);
    size_t length = std::strlen(text);
    if (need_all_bytes ? length != half_size : length == 0) return 0;
    if (!std::strstr(text, open_tag) || !std::strstr(text, close_tag)) return 0;
    uint64_t value = 0;
    for (const char* p = text + 4; *p >= '0' && *p <= '9'; ++p) {
        if (value > (UINT64_MAX - 9) / 10) return 0;   // more digits than any file can have
        value = value * 10 + static_cast<uint64_t>(*p - '0');
    }
    return value;
}

// Copies `length` bytes from the current position; logs how a short copy ended.
int copy_range(FILE* in, FILE* out, uint64_t length, const std::string& executable) {
    std::unique_ptr<char[]> buffer(new char[copy_block]);
    uint64_t left = length;
    while (left > 0) {
        size_t want = left < copy_block ? static_cast<size_t>(left) : copy_block;
        size_t got = std::fread(buffer.get(), 1, want, in);
        if (got > 0 && std::fwrite(buffer.get(), 1, got, out) != got) {
            log_message(SEV_INFO, L"Write error occured for " OS_NARROW_S, executable.c_str());
            return 0;
        }
        left -= got;
        if (got < want) {
            if (std::feof(in))
                log_message(SEV_INFO, L"Read and write finished before required data");
            else
                log_message(SEV_INFO, L"Read and write error occured");
            return 0;
        }
    }
    return 1;
}

void delete_if_file(const std::string& path) {
    if (os_is_file(path)) std::remove(path.c_str());
}

int use_option_file(std::wstring& path) {
    log_message(SEV_INFO, L"coninfo.xml file path is passed by the user");
    const char* stored = get_option_utf8(OPT_CONINFO_PATH);
    std::wstring wide;
    std::string narrow;
    // The option is UTF-8; the C library wants the user's code page.
    bool usable = stored && std::strlen(stored) < narrow_path_capacity && os_wide_from_utf8(stored, wide) &&
                  os_to_narrow(wide, narrow) && os_is_file(narrow);
    if (!usable) {
        return 0;
    }
    path = wide;
    return 1;
}
}   // namespace

bool parse_connection_trailer(const char* trailer, uint64_t file_size, uint64_t* offset, uint64_t* length) {
    uint64_t ds = read_half(trailer + half_size, "<ds>", "</ds>", true);
    uint64_t bs = read_half(trailer, "<bs>", "</bs>", false);
    // Checked without overflow: bs + ds + 40 <= file size.
    if (ds == 0 || file_size < trailer_size || ds > file_size - trailer_size || bs > file_size - trailer_size - ds)
        return false;
    *offset = bs;
    *length = ds;
    return true;
}

int extract_connection_data(const wchar_t* executable, const wchar_t* output) {
    std::string exe;
    return narrow_path(executable, exe) ? extract_connection_data_from(exe, output) : 0;
}

int extract_connection_data_from(const std::string& exe, const wchar_t* output) {
    std::string out_path;
    if (exe.size() >= narrow_path_capacity || !narrow_path(output, out_path)) return 0;
    uint64_t size = 0;
    if (!os_file_size(exe, size)) {
        log_message(SEV_INFO, L"Couldn't find the specified executable: " OS_NARROW_S, exe.c_str());
        return 0;
    }
    file_ptr in(std::fopen(exe.c_str(), "rb"));
    if (!in) {
        log_message(SEV_INFO, L"Couldn't open the specified executable file in read mode: " OS_NARROW_S, exe.c_str());
        return 0;
    }
    file_ptr out(std::fopen(out_path.c_str(), "wb"));
    if (!out) {
        log_message(SEV_INFO, L"Couldn't open the specified data file for read:" OS_NARROW_S, out_path.c_str());
        return 0;
    }

    uint64_t offset = 0, length = 0;
    char trailer[trailer_size] = {};
    bool have_trailer = size >= trailer_size && os_seek_file(in.get(), size - trailer_size) &&
                        std::fread(trailer, 1, trailer_size, in.get()) == trailer_size;
    if (!have_trailer || !parse_connection_trailer(trailer, size, &offset, &length)) {
        log_message(SEV_INFO, L"Couldn't read size of files");
        return 0;
    }
    if (!os_seek_file(in.get(), offset)) {
        log_message(SEV_INFO, L"Couldn't fseek to read ");
        return 0;
    }
    int result = copy_range(in.get(), out.get(), length, exe);
    log_message(SEV_INFO, L"Read and write finished");
    if (std::fclose(out.release()) != 0) result = 0;
    return result;
}

int prepare_connection_data(run_context* ctx, std::wstring& path) {
    wchar_t option[path_capacity];
    size_t capacity = path_capacity;
    if (get_option(OPT_CONINFO_PATH, option, &capacity)) {
        if (use_option_file(path)) return 1;
        dialog_message(ctx, MSG_NO_CONNECTION_DATA);
        log_message(SEV_ERROR, L"coninfo.xml file passed by the user might not exist");
        return 0;
    }

    std::string executable;
    wchar_t folder[path_capacity];
    if (!get_module_path_bytes(executable) || !get_work_folder(folder) || std::wcslen(folder) >= work_folder_limit)
        return 0;
    std::wstring coninfo = std::wstring(folder) + OS_SEP_S L"coninfo.xml";
    std::wstring previous = coninfo + L".tmp";
    std::string coninfo_narrow, previous_narrow;
    if (!narrow_path(coninfo.c_str(), coninfo_narrow) || !narrow_path(previous.c_str(), previous_narrow)) return 0;

    if (os_is_file(coninfo_narrow)) std::rename(coninfo_narrow.c_str(), previous_narrow.c_str());
    if (!extract_connection_data_from(executable, coninfo.c_str())) {
        dialog_message(ctx, MSG_NO_CONNECTION_DATA);
        log_message(SEV_ERROR, L"Could not find a vaild connection data file");
        log_message(SEV_INFO, L"The coninfo.xml file is different, fresh download.");
        delete_if_file(previous_narrow);
        return 0;
    }
    if (os_is_file(coninfo_narrow) && os_is_file(previous_narrow) &&
        files_have_same_sha256(coninfo.c_str(), previous.c_str())) {
        log_message(SEV_INFO, L"The coninfo.xml file is same, resuming the download.");
        if (ctx) ctx->resume_flag = 1;
    } else {
        log_message(SEV_INFO, L"The coninfo.xml file is different, fresh download.");
    }
    delete_if_file(previous_narrow);
    path = coninfo;
    return 1;
}
