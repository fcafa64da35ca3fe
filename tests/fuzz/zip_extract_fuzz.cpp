// Fuzz target for the zip entry walks: a fuzzed archive is extracted into a scratch folder, then
// again after it was unpacked while "downloading" (the local headers' walk, in two pieces), as
// the install package is. Whatever the archive holds, in either way, nothing may land outside the target folder (checked by walking
// the folders around it and by looking where each stored name would land if joined naively),
// no link is made, and no file gets a set-id or sticky bit.
//
// Run as root, the extraction itself runs with the file-system identity of nobody (setfsuid
// is per thread on Linux), inside folders that nobody owns: a fault that escaped the scratch
// folder is still seen there, but cannot write where only root may.
#include <sys/fsuid.h>
#include <unistd.h>
#include <unzip.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "install/zip_extract.h"
#include "install/zip_stream.h"

namespace fs = std::filesystem;

namespace {
constexpr unsigned nobody = 65534;
constexpr size_t longest_name = 65536;
constexpr size_t extractor_name_capacity = 256;

// target = sandbox/up1/up2/up3/target: names climbing up to four levels land in the sandbox.
const char* const skeleton[] = {"up1", "up1/up2", "up1/up2/up3", "up1/up2/up3/target"};

struct layout {
    fs::path sandbox;
    fs::path target;
};

bool running_as_root() { return geteuid() == 0; }

layout make_layout() {
    layout l;
    l.sandbox = fs::path(fuzz_scratch()) / "zip";
    l.target = l.sandbox / skeleton[3];
    fs::remove_all(l.sandbox);
    fs::create_directories(l.target);
    if (running_as_root()) {
        // The scratch folder stays closed to listing and writing; nobody only passes through.
        fs::permissions(fuzz_scratch(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        fuzz_require(chown(l.sandbox.c_str(), nobody, nobody) == 0, "chown of the sandbox failed");
        for (const char* folder : skeleton)
            fuzz_require(chown((l.sandbox / folder).c_str(), nobody, nobody) == 0, "chown failed");
    }
    return l;
}

// Every stored name, read with a buffer large enough for any of them.
std::vector<std::string> stored_names(const std::string& archive_path) {
    std::vector<std::string> names;
    std::unique_ptr<void, int (*)(unzFile)> archive(unzOpen64(archive_path.c_str()), unzClose);
    if (!archive) return names;
    std::vector<char> name(longest_name + 1);
    for (int err = unzGoToFirstFile(archive.get()); err == UNZ_OK; err = unzGoToNextFile(archive.get())) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(archive.get(), &info, name.data(), longest_name, nullptr, 0, nullptr, 0) != UNZ_OK)
            break;
        name[longest_name] = '\0';
        names.emplace_back(name.data());
    }
    return names;
}

bool is_inside(const fs::path& path, const fs::path& folder) {
    auto mismatch = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return mismatch.first == folder.end();
}

// Where a stored name (or its cut form) would land outside the sandbox, and did not exist yet.
std::vector<fs::path> escape_candidates(const std::vector<std::string>& names, const layout& l) {
    std::vector<fs::path> candidates;
    for (std::string name : names) {
        for (char& c : name)
            if (c == '\\') c = '/';
        for (const std::string& form : {name, name.substr(0, extractor_name_capacity - 1)}) {
            if (form.empty()) continue;
            fs::path landing = (l.target / form).lexically_normal();
            std::error_code error;
            if (!is_inside(landing, l.sandbox) && !fs::exists(fs::symlink_status(landing, error)))
                candidates.push_back(landing);
        }
    }
    return candidates;
}

void check_sandbox(const layout& l) {
    std::error_code error;
    for (fs::recursive_directory_iterator it(l.sandbox, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        if (!is_inside(path, l.target) || path == l.target) {
            bool in_skeleton = false;
            for (const char* folder : skeleton) in_skeleton = in_skeleton || path == l.sandbox / folder;
            fuzz_require(in_skeleton, "extraction wrote outside its target folder");
            continue;
        }
        fs::file_status status = it->symlink_status();
        fuzz_require(!fs::is_symlink(status), "extraction made a link");
        auto special = fs::perms::set_uid | fs::perms::set_gid | fs::perms::sticky_bit;
        fuzz_require((status.permissions() & special) == fs::perms::none, "extracted file has a set-id or sticky bit");
    }
    fuzz_require(!error, "the sandbox could not be walked");
}

// The extraction changes the process's current folder; libFuzzer may have been given relative
// corpus paths.
// The walk's thread takes the identity of the thread that starts it.
void extract_as_nobody(const std::string& archive, const layout& l, bool unpacked_ahead, size_t size) {
    static const fs::path starting_folder = fs::current_path();
    bool root = running_as_root();
    if (root) {
        setfsgid(nobody);
        setfsuid(nobody);
    }
    if (unpacked_ahead) {
        zip_stream* stream = zip_stream_start(archive.c_str(), l.target.c_str());
        fuzz_require(stream != nullptr, "the walk did not start");
        zip_stream_advance(stream, size / 2);
        zip_stream_complete(stream, size);
        extract_install_zip(archive.c_str(), l.target.c_str(), stream);
        zip_stream_release(stream);
    } else {
        extract_zip(archive.c_str(), l.target.c_str());
    }
    if (root) {
        setfsuid(0);
        setfsgid(0);
    }
    fs::current_path(starting_folder);
}
}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_begin_input();
    std::string archive = fuzz_write_input("input.zip", data, size);
    for (bool unpacked_ahead : {false, true}) {
        layout l = make_layout();
        std::vector<fs::path> candidates = escape_candidates(stored_names(archive), l);

        extract_as_nobody(archive, l, unpacked_ahead, size);

        check_sandbox(l);
        for (const fs::path& candidate : candidates) {
            std::error_code error;
            fuzz_require(!fs::exists(fs::symlink_status(candidate, error)), "a stored name landed outside the target");
        }
    }
    return 0;
}
