#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

scratch_folder::scratch_folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qsw-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

scratch_folder::~scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

scoped_env::scoped_env(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_old_ = old != nullptr;
    if (old) old_ = old;
    setenv(name, value.c_str(), 1);
}

scoped_env::~scoped_env() {
    if (had_old_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
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
