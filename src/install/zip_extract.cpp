#include "install/zip_extract.h"

#include <unzip.h>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>

#include "core/file_digest.h"
#include "core/log.h"
#include "install/entry_output.h"
#include "install/zip_entry_copy.h"
#include "install/zip_stream.h"
#include "os/digest.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/text.h"
#include "os/unpack.h"
#include "utils/contained_name.h"
#include "utils/printable_name.h"

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

struct extraction {
    unzFile archive = nullptr;
    const char* archive_path = nullptr;
    const char* target_dir = nullptr;
    os_output_folder* folder = nullptr;
    entry_copier* copier = nullptr;
    bool refuse_configuration_names = false;
    bool hash_files = false;                          // remember each file's SHA-256, computed as it is written
    bool incomplete = false;                          // an entry that should have been written was not, or not whole
    zip_stream* ahead = nullptr;                      // the package unpacked while it downloaded, or null
    std::unordered_map<uint64_t, size_t> adoptable;   // data offset -> streamed entry of the same entry
    unsigned taken = 0;                               // files of `ahead` taken for their entries
    unsigned removed = 0;                             // files of `ahead` that were no entry's
};

// Extraction talks to standard output, not to the log: the callers log the outcome.
void print_out(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
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

// The name is shown escaped: a line feed in it would forge a log line, an escape sequence
// would reach the terminal.
void refuse_entry(const extraction& x, const char* stored, const char* reason) {
    std::string shown = printable_name(stored);
    print_out("refusing %s: %s\n", shown.c_str(), reason);
    log_message(SEV_ERROR,
                L"Refused to extract " OS_NARROW_S L" from " OS_NARROW_S L" into " OS_NARROW_S L": " OS_NARROW_S,
                shown.c_str(), x.archive_path, x.target_dir, reason);
}

// A write that failed says why and where, and its partial file goes at once: on a full disk
// the space it holds is what the log needs next.
void report_failed_write(const extraction& x, const std::string& name, int error) {
    bool removed = os_output_remove_file(x.folder, name.c_str());
    log_message(SEV_ERROR, L"Writing " OS_NARROW_S L"%ls" OS_NARROW_S L" failed: " OS_NARROW_S L"%ls", x.target_dir,
                OS_SEP_S, name.c_str(), os_error_text(error).c_str(),
                removed ? L"; the partial file was removed" : L"");
}

// An entry whose file cannot be created is skipped, but the extraction is incomplete; on a full
// disk it ends, since the next entries would fail alike. False when it ends.
bool skip_unwritable_entry(extraction& x, const char* stored, const std::string& name, int create_error) {
    print_out("error opening %s\n", stored);
    x.incomplete = true;
    if (!os_is_out_of_space(create_error)) return true;
    report_failed_write(x, name, create_error);
    return false;
}

int extract_file_entry(extraction& x, const unz_file_info64& info, const char* stored, const std::string& name);

bool is_streamed_entry(const streamed_entry& streamed, const unz_file_info64& info, int method, const char* stored) {
    return streamed.usable && streamed.stored_name == stored && streamed.method == method && streamed.crc == info.crc &&
           streamed.size == info.uncompressed_size && streamed.compressed_size == info.compressed_size;
}

// The streamed entry that is the current entry, opened raw, or null.
const streamed_entry* streamed_entry_of(const extraction& x, const unz_file_info64& info, int method,
                                        const char* stored) {
    auto found = x.adoptable.find(unzGetCurrentFileZStreamPos64(x.archive));
    if (found == x.adoptable.end()) return nullptr;
    const streamed_entry& streamed = zip_stream_entries(x.ahead)[found->second];
    return is_streamed_entry(streamed, info, method, stored) ? &streamed : nullptr;
}

// Files the download unpacked ahead (zip_stream.h) that are no entry's of the central directory
// go before anything is extracted: their names came from local headers alone. The others become
// adoptable. The current entry is the first one afterwards.
void sort_streamed_entries(extraction& x, ZPOS64_T entry_count) {
    const std::vector<streamed_entry>& entries = zip_stream_entries(x.ahead);
    if (entries.empty()) return;   // nothing unpacked ahead: the directory is walked once only
    for (size_t i = 0; i < entries.size(); ++i) x.adoptable.emplace(entries[i].data_offset, i);
    std::vector<bool> claimed(entries.size(), false);
    int err = unzGoToFirstFile(x.archive);
    for (ZPOS64_T i = 0; i < entry_count && err == UNZ_OK; ++i, err = unzGoToNextFile(x.archive)) {
        unz_file_info64 info;
        char stored[name_capacity];
        if (unzGetCurrentFileInfo64(x.archive, &info, stored, sizeof stored, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        stored[name_capacity - 1] = '\0';
        int method = 0, level = 0;
        if (unzOpenCurrentFile3(x.archive, &method, &level, 1, nullptr) != UNZ_OK) continue;
        if (const streamed_entry* streamed = streamed_entry_of(x, info, method, stored))
            claimed[static_cast<size_t>(streamed - entries.data())] = true;
        unzCloseCurrentFile(x.archive);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        if (claimed[i]) continue;
        x.adoptable.erase(entries[i].data_offset);
        if (os_output_remove_file(x.folder, entries[i].name.c_str())) ++x.removed;
    }
    unzGoToFirstFile(x.archive);
}

// Takes the current entry's file from what the download unpacked, when it is that entry's and
// still there whole: it is then stamped and its digest kept as if it had been written now.
bool adopt_streamed_entry(extraction& x, const unz_file_info64& info, int method, const char* stored,
                          const std::string& name) {
    if (x.adoptable.empty()) return false;
    const streamed_entry* streamed = streamed_entry_of(x, info, method, stored);
    uint64_t size = 0;
    output_file_ptr file(streamed ? os_output_file_reopen(x.folder, name.c_str(), &size) : nullptr);
    if (!file || size != info.uncompressed_size) return false;
    x.adoptable.erase(streamed->data_offset);   // an entry given twice is extracted the second time
    ++x.taken;
    print_out(" extracting: %s\n", stored);
    stamp_output_file(file.get(), info);
    file.reset();   // closed before its stamp is taken
    remember_file_digest(name, os_digest_kind::sha256, streamed->digest);
    return true;
}

// The digest of a file written whole, kept so that its check need not read it again. `name` is
// relative to the current folder, which is the target folder while entries are extracted.
void remember_entry_digest(const std::string& name, os_digest_stream* digest) {
    std::string hex;
    if (digest && os_digest_stream_finish(digest, hex)) remember_file_digest(name, os_digest_kind::sha256, hex);
}

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
    if (const char* reason = entry_refusal_reason(stored, x.refuse_configuration_names)) {
        refuse_entry(x, stored, reason);
        return 0;
    }
    std::string name = local_entry_name(stored);
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
    if (adopt_streamed_entry(x, info, method, stored, name)) return unzCloseCurrentFile(x.archive);
    int create_error = 0;
    output_file_ptr file = create_entry_file(x.folder, name, create_error, true);
    os_digest_stream_ptr digest(file && x.hash_files ? os_digest_stream_create(os_digest_kind::sha256) : nullptr);
    entry_copy_result copied;
    if (file) {
        print_out(" extracting: %s\n", stored);
        copied = x.copier->copy(x.archive, info, method, file.get(), digest.get());
        if (copied.failure == copy_failure::read)
            print_out("error %d with zipfile in unzReadCurrentFile\n", copied.error);
        if (copied.failure == copy_failure::write) print_out("error in writing extracted file\n");
        if (copied.error != 0) {
            int write_error = os_output_file_error(file.get());
            file.reset();   // a partly read file stays; a partly written one goes
            if (copied.failure == copy_failure::write) report_failed_write(x, name, write_error);
            unzCloseCurrentFile(x.archive);
            return copied.error;
        }
        stamp_output_file(file.get(), info);
    } else if (!skip_unwritable_entry(x, stored, name, create_error)) {
        unzCloseCurrentFile(x.archive);
        return UNZ_ERRNO;
    }
    bool written = file != nullptr;
    file.reset();   // closed before its stamp is taken
    err = unzCloseCurrentFile(x.archive);
    // Read raw, the entry's CRC and size are checked here rather than by minizip.
    if (err == UNZ_OK && written && !copied.matches(info.uncompressed_size, info.crc)) err = UNZ_CRCERROR;
    if (err != UNZ_OK) print_out("error %d with zipfile in unzCloseCurrentFile\n", err);
    if (err == UNZ_OK && written) remember_entry_digest(name, digest.get());
    return err;
}

void extract_entries(extraction& x) {
    if (!x.target_dir || !os_change_directory(x.target_dir)) {
        print_out("Error changing into %s, aborting\n", x.target_dir ? x.target_dir : "");
        x.incomplete = true;
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
        x.incomplete = true;
        return;
    }
    x.folder = folder.get();
    if (x.ahead) {
        zip_stream_finish(x.ahead);
        sort_streamed_entries(x, global.number_entry);
    }
    for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
        if (extract_current_entry(x) != 0) {
            x.incomplete = true;
            break;
        }
        if (i + 1 < global.number_entry) {
            err = unzGoToNextFile(x.archive);
            if (err != UNZ_OK) {
                print_out("error %d with zipfile in unzGoToNextFile\n", err);
                x.incomplete = true;
                break;
            }
        }
    }
}

int extract(const char* archive_path, const char* target_dir, bool refuse_configuration_names, bool hash_files,
            zip_stream* ahead) {
    if (!archive_path) return 0;
    zlib_filefunc64_def functions;
    os_fill_zip_file_functions(&functions);
    archive_ptr archive(unzOpen2_64(archive_path, &functions));
    if (!archive) {
        print_out("Cannot open %s or %s.zip\n", archive_path, archive_path);
        std::fflush(stdout);
        return zip_not_opened;
    }
    print_out("%s opened\n", archive_path);
    entry_copier copier;
    if (!copier.open(functions, archive_path)) {
        print_out("Error allocating memory\n");
        archive.reset();
        std::fflush(stdout);
        return zip_incomplete;
    }
    extraction x;
    x.archive = archive.get();
    x.archive_path = archive_path;
    x.target_dir = target_dir;
    x.copier = &copier;
    x.refuse_configuration_names = refuse_configuration_names;
    x.hash_files = hash_files;
    x.ahead = ahead;
    extract_entries(x);
    if (ahead)
        log_message(SEV_DEBUG, L"Install files unpacked during the download: %u taken, %u removed", x.taken, x.removed);
    archive.reset();
    std::fflush(stdout);
    return x.incomplete ? zip_incomplete : zip_extracted;
}
}   // namespace

int extract_zip(const char* archive_path, const char* target_dir) {
    return extract(archive_path, target_dir, false, false, nullptr);
}

// The install files are checked against the manifest right after: hashing them while they are
// written spares that check a second read of every file.
int extract_install_zip(const char* archive_path, const char* target_dir, zip_stream* unpacked_ahead) {
    return extract(archive_path, target_dir, true, true, unpacked_ahead);
}
