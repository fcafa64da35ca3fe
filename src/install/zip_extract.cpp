#include "install/zip_extract.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <unzip.h>

#include "bootstrap/log.h"
#include "install/zip_entry_copy.h"
#include "os/paths.h"
#include "os/text.h"
#include "os/unpack.h"
#include "utils/contained_name.h"

namespace {
constexpr size_t name_capacity = 256;   // longer stored names are cut to 255 bytes
constexpr int method_stored = 0;
constexpr char local_separator = static_cast<char>(os_path_separator);

struct archive_closer {
    void operator()(void* archive) const noexcept { unzClose(archive); }
};
using archive_ptr = std::unique_ptr<void, archive_closer>;

struct output_folder_closer {
    void operator()(os_output_folder* folder) const noexcept { os_output_folder_close(folder); }
};

struct output_file_closer {
    void operator()(os_output_file* file) const noexcept { os_output_file_close(file); }
};
using output_file_ptr = std::unique_ptr<os_output_file, output_file_closer>;

struct extraction {
    unzFile archive = nullptr;
    const char* archive_path = nullptr;
    const char* target_dir = nullptr;
    os_output_folder* folder = nullptr;
    entry_copier* copier = nullptr;
};

// Extraction talks to standard output, not to the log: the callers log the outcome.
void print_out(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Stored names use '/' (or '\' from some Windows tools); on disk the local separator.
std::string local_name(const char* stored) {
    std::string name = stored;
    for (char& c : name)
        if (is_separator(c)) c = local_separator;
    return name;
}

// Creates every missing folder of `path`, relative to the output folder.
void make_directory_chain(os_output_folder* folder, const std::string& path) {
    if (path.empty()) return;
    std::string copy = path;
    if (copy.back() == local_separator) copy.pop_back();
    if (copy.empty() || os_output_make_folder(folder, copy.c_str()) == os_mkdir_made) return;
    for (size_t i = 1; i <= copy.size(); ++i) {
        if (i < copy.size() && copy[i] != local_separator) continue;
        std::string prefix = copy.substr(0, i);
        // A folder that exists already is fine; a missing parent means the chain is broken.
        if (os_output_make_folder(folder, prefix.c_str()) == os_mkdir_no_parent) {
            print_out("couldn't create directory %s\n", prefix.c_str());
            return;
        }
    }
}

// Entries made on Unix (host 3) or macOS (host 19) keep st_mode in the high half of the
// external attributes. Only regular files take their bits, and never set-id or sticky bits:
// a link or device entry is written as a plain file with default permissions.
bool stored_unix_mode(const unz_file_info64& info, unsigned& mode) {
    unsigned long host = (info.version >> 8) & 0xFF;
    if (host != 3 && host != 19) return false;
    unsigned long st_mode = (info.external_fa >> 16) & 0xFFFF;
    unsigned long type = st_mode & 0170000;
    if ((type != 0100000 && type != 0) || (st_mode & 0777) == 0) return false;
    mode = static_cast<unsigned>(st_mode & 0777);
    return true;
}

void stamp_output_file(os_output_file* file, const unz_file_info64& info) {
    std::tm local{};
    local.tm_sec = static_cast<int>(info.tmu_date.tm_sec);
    local.tm_min = static_cast<int>(info.tmu_date.tm_min);
    local.tm_hour = static_cast<int>(info.tmu_date.tm_hour);
    local.tm_mday = static_cast<int>(info.tmu_date.tm_mday);
    local.tm_mon = static_cast<int>(info.tmu_date.tm_mon);
    local.tm_year = static_cast<int>(info.tmu_date.tm_year) - 1900;
    os_output_file_set_time(file, local);
    unsigned mode = 0;
    if (stored_unix_mode(info, mode)) os_output_file_set_unix_mode(file, mode);
}

void refuse_entry(const extraction& x, const char* stored) {
    print_out("refusing %s: the name leads outside the target folder\n", stored);
    log_message(SEV_ERROR,
                L"Refused to extract " OS_NARROW_S L" from " OS_NARROW_S
                L": the name leads outside " OS_NARROW_S,
                stored, x.archive_path, x.target_dir);
}

output_file_ptr create_output_file(const extraction& x, const std::string& name) {
    output_file_ptr file(os_output_file_create(x.folder, name.c_str()));
    size_t cut = name.rfind(local_separator);
    if (!file && cut != std::string::npos) {
        make_directory_chain(x.folder, name.substr(0, cut));
        file.reset(os_output_file_create(x.folder, name.c_str()));
    }
    return file;
}

int extract_file_entry(extraction& x, const unz_file_info64& info, const char* stored, const std::string& name);

// 0 when the loop may go on, else a minizip or zlib error code, or -1 after a short write.
int extract_current_entry(extraction& x) {
    unz_file_info64 info;
    char stored[name_capacity];
    int err = unzGetCurrentFileInfo64(x.archive, &info, stored, sizeof stored, nullptr, 0, nullptr, 0);
    if (err != UNZ_OK) {
        print_out("error %d with zipfile in unzGetCurrentFileInfo\n", err);
        return err;
    }
    stored[name_capacity - 1] = '\0';   // minizip does not terminate a name that fills the buffer
    if (!name_stays_inside_folder(stored)) {
        refuse_entry(x, stored);
        return 0;
    }
    std::string name = local_name(stored);
    if (name.empty() || name.back() == local_separator) {
        print_out("creating directory: %s\n", stored);
        os_output_make_folder(x.folder, name.c_str());   // an existing folder is fine
        return 0;
    }
    return extract_file_entry(x, info, stored, name);
}

// The file part of extract_current_entry: same results.
int extract_file_entry(extraction& x, const unz_file_info64& info, const char* stored, const std::string& name) {
    int method = 0, level = 0;
    int err = unzOpenCurrentFile3(x.archive, &method, &level, 1, nullptr);   // raw, no password
    if (err == UNZ_OK && method != method_stored && method != Z_DEFLATED) err = UNZ_BADZIPFILE;
    if (err != UNZ_OK) {
        print_out("error %d with zipfile in unzOpenCurrentFilePassword\n", err);
        unzCloseCurrentFile(x.archive);
        return err;
    }
    output_file_ptr file = create_output_file(x, name);
    entry_copy_result copied;
    if (file) {
        print_out(" extracting: %s\n", stored);
        copied = x.copier->copy(x.archive, info, method, file.get());
        if (copied.failure == copy_failure::read) print_out("error %d with zipfile in unzReadCurrentFile\n", copied.error);
        if (copied.failure == copy_failure::write) print_out("error in writing extracted file\n");
        if (copied.error != 0) {
            file.reset();   // a partly written file stays
            unzCloseCurrentFile(x.archive);
            return copied.error;
        }
        stamp_output_file(file.get(), info);
    } else {
        print_out("error opening %s\n", stored);
    }
    err = unzCloseCurrentFile(x.archive);
    // Read raw, the entry's CRC and size are checked here rather than by minizip.
    if (err == UNZ_OK && file && !copied.matches(info)) err = UNZ_CRCERROR;
    if (err != UNZ_OK) print_out("error %d with zipfile in unzCloseCurrentFile\n", err);
    return err;
}

void extract_entries(extraction& x) {
    if (!x.target_dir || !os_change_directory(x.target_dir)) {
        print_out("Error changing into %s, aborting\n", x.target_dir ? x.target_dir : "");
        return;
    }
    unz_global_info64 global{};
    int err = unzGetGlobalInfo64(x.archive, &global);
    if (err != UNZ_OK) {
        print_out("error %d with zipfile in unzGetGlobalInfo \n", err);
        global.number_entry = 0;   // nothing trustworthy to walk
    }
    std::unique_ptr<os_output_folder, output_folder_closer> folder(os_output_folder_open());
    if (!folder) {
        print_out("Error allocating memory\n");
        return;
    }
    x.folder = folder.get();
    for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
        if (extract_current_entry(x) != 0) break;
        if (i + 1 < global.number_entry) {
            err = unzGoToNextFile(x.archive);
            if (err != UNZ_OK) {
                print_out("error %d with zipfile in unzGoToNextFile\n", err);
                break;
            }
        }
    }
}
}  // namespace

int extract_zip(const char* archive_path, const char* target_dir) {
    if (!archive_path) return 0;
    zlib_filefunc64_def functions;
    os_fill_zip_file_functions(&functions);
    archive_ptr archive(unzOpen2_64(archive_path, &functions));
    if (!archive) {
        print_out("Cannot open %s or %s.zip\n", archive_path, archive_path);
        std::fflush(stdout);
        return 1;
    }
    print_out("%s opened\n", archive_path);
    entry_copier copier;
    if (!copier.open(functions, archive_path)) {
        print_out("Error allocating memory\n");
        archive.reset();
        std::fflush(stdout);
        return 0;
    }
    extraction x;
    x.archive = archive.get();
    x.archive_path = archive_path;
    x.target_dir = target_dir;
    x.copier = &copier;
    extract_entries(x);
    archive.reset();
    std::fflush(stdout);
    return 0;
}
