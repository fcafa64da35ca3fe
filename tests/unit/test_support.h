// Small helpers shared by the unit tests.
#pragma once

#include <string>

// A fresh folder under the system temporary folder, removed with everything in it at the end.
#ifdef _WIN32
constexpr char native_separator[] = "\\";
// The variable GetTempPathW reads first.
constexpr char temp_folder_variable[] = "TMP";
#else
constexpr char native_separator[] = "/";
constexpr char temp_folder_variable[] = "TMPDIR";
#endif

class scratch_folder {
public:
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    const std::string& path() const { return path_; }
    // Joined with the system's separator, as the installer joins the paths it logs.
    std::string file(const std::string& name) const { return path_ + native_separator + name; }

private:
    std::string path_;
};

// Sets an environment variable for the life of the object and restores the old value after.
class scoped_env {
public:
    scoped_env(const char* name, const std::string& value);
    ~scoped_env();
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    std::string name_;
    std::string old_;
    bool had_old_;
};

std::string read_whole_file(const std::string& path);
// A test input kept as a file under tests/data/ ("site_list/unusable_sites.xml").
std::string read_test_data(const std::string& name);
void write_whole_file(const std::string& path, const std::string& data);
bool path_exists(const std::string& path);
// A new folder; false when it exists or cannot be made.
bool make_folder(const std::string& path);
std::wstring widen(const std::string& ascii);
std::string narrow_ascii(const std::wstring& ascii);
