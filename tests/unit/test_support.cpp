#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

// A new folder of a random name: create_directory fails on a name that exists, so no other
// process's folder is ever taken over.
scratch_folder::scratch_folder() {
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "qsw-test-" + std::to_string(random() % 100000000000ULL);
        std::filesystem::path candidate = std::filesystem::temp_directory_path() / name;
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
            path_ = candidate.string();
            return;
        }
    }
    throw std::runtime_error("no scratch folder could be made");
}

scratch_folder::~scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {
// Null removes the variable.
void set_variable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");
#else
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
#endif
}
}   // namespace

scoped_env::scoped_env(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_old_ = old != nullptr;
    if (old) old_ = old;
    set_variable(name, value.c_str());
}

scoped_env::~scoped_env() { set_variable(name_.c_str(), had_old_ ? old_.c_str() : nullptr); }

bool make_folder(const std::string& path) {
    std::error_code error;
    return std::filesystem::create_directory(path, error);
}

std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void write_whole_file(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool path_exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string narrow_ascii(const std::wstring& ascii) {
    std::string out;
    for (wchar_t c : ascii) out += static_cast<char>(c);
    return out;
}

std::string read_test_data(const std::string& name) {
    std::string path = std::string(QSW_TEST_DATA_DIR) + "/" + name;
    if (!path_exists(path)) throw std::runtime_error("missing test data " + path);
    return read_whole_file(path);
}
