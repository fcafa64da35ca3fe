#include "fuzz_support.h"

#include <mxml.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/log.h"
#include "unit/test_support.h"

namespace {
// Reopening checks the log's size and rotates it at 5 MiB; a 30-second run writes far more.
constexpr unsigned inputs_between_log_reopens = 4096;

// Mini-XML reports every parse error on standard error: a line for most fuzzed documents would
// bury libFuzzer's own report.
void ignore_xml_error(const char*) {}

struct fuzz_environment {
    scratch_folder scratch;   // removed after the log is closed
    std::unique_ptr<scoped_env> tmpdir;
    std::unique_ptr<scoped_env> lock_dir;
    unsigned inputs = 0;

    fuzz_environment() {
        // Documents are UTF-8, as the installer's locale is on current systems.
        std::setlocale(LC_ALL, "C.UTF-8");
        mxmlSetErrorCallback(ignore_xml_error);
        std::string locks = scratch.file("locks");
        std::filesystem::create_directory(locks);
        std::filesystem::permissions(locks, std::filesystem::perms::owner_all);
        tmpdir = std::make_unique<scoped_env>("TMPDIR", scratch.path());
        lock_dir = std::make_unique<scoped_env>("QSW_LOCK_DIR", locks);
        open_log();
        set_severity_mask(log_debug_mask);
    }
    ~fuzz_environment() { close_log(); }
};

fuzz_environment& environment() {
    static fuzz_environment instance;
    return instance;
}
}   // namespace

void fuzz_begin_input() {
    fuzz_environment& env = environment();
    if (++env.inputs % inputs_between_log_reopens == 0) {
        open_log();
        set_severity_mask(log_debug_mask);
    }
}

const std::string& fuzz_scratch() { return environment().scratch.path(); }

std::string fuzz_write_input(const char* name, const uint8_t* data, size_t size) {
    std::string path = environment().scratch.file(name);
    write_whole_file(path, std::string(reinterpret_cast<const char*>(data), size));
    return path;
}

void fuzz_require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
