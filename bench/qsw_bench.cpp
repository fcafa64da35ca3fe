// Runs one of the installer's own operations on given data, so that bench/run_bench.sh can
// time it against a standard tool on the same data.
//   qsw_bench digest FILE [EXPECTED]   SHA-256 check of FILE as the installer does it
//   qsw_bench extract ZIP DIR          unpacks ZIP into DIR as the installer does it
// Exit status 0 when the operation succeeded (and the digest matched when one was given).
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/hash_manifest.h"
#include "core/file_digest.h"
#include "install/zip_extract.h"
#include "install/zip_stream.h"
#include "os/text.h"

namespace {
// A digest of the right length that no file has: the whole file is still read and hashed.
const char any_sha256[] = "0000000000000000000000000000000000000000000000000000000000000000";

int run_digest(int argc, char** argv) {
    std::wstring path;
    if (!os_to_wide(argv[0], path)) return 2;
    const char* expected = argc > 1 ? argv[1] : any_sha256;
    int match = verify_file_digest(path.c_str(), expected);
    std::fprintf(stderr, "digest %s\n", match ? "matches" : "does not match");
    return argc > 1 && !match ? 1 : 0;
}

int run_extract(int, char** argv) { return extract_zip(argv[0], argv[1]) == 0 ? 0 : 1; }

// As the install package is extracted: each file's digest is taken while it is written.
int run_extract_install(int, char** argv) { return extract_install_zip(argv[0], argv[1]) == 0 ? 0 : 1; }

// The same after the package was unpacked by the walk of its local headers, which a download
// feeds (here the whole archive at once): what the walk costs against the extraction.
int run_extract_streamed(int, char** argv) {
    std::error_code error;
    uintmax_t size = std::filesystem::file_size(argv[0], error);
    zip_stream* stream = error ? nullptr : zip_stream_start(argv[0], argv[1]);
    if (!stream) return 1;
    zip_stream_complete(stream, size);
    int result = extract_install_zip(argv[0], argv[1], stream);
    zip_stream_release(stream);
    return result == 0 ? 0 : 1;
}

struct command {
    const char* name;
    int min_args;
    const char* usage;
    int (*run)(int argc, char** argv);
};

const command commands[] = {
    {"digest", 1, "digest FILE [EXPECTED-SHA256]", run_digest},
    {"extract", 2, "extract ZIP DIR", run_extract},
    {"extract-install", 2, "extract-install ZIP DIR", run_extract_install},
    {"extract-streamed", 2, "extract-streamed ZIP DIR", run_extract_streamed},
};

int usage(const char* program) {
    for (const command& c : commands) std::fprintf(stderr, "usage: %s %s\n", program, c.usage);
    return 2;
}
}   // namespace

int main(int argc, char** argv) {
    os_use_user_locale();
    if (argc < 2) return usage(argv[0]);
    for (const command& c : commands) {
        if (std::strcmp(argv[1], c.name) != 0) continue;
        if (argc - 2 < c.min_args) return usage(argv[0]);
        return c.run(argc - 2, argv + 2);
    }
    return usage(argv[0]);
}
