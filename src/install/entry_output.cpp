#include "install/entry_output.h"

#include <cstdio>

#include "os/files.h"
#include "os/paths.h"
#include "utils/contained_name.h"
#include "utils/printable_name.h"

namespace {
constexpr char local_separator = static_cast<char>(os_path_separator);

bool is_separator(char c) { return c == '/' || c == '\\'; }
}   // namespace

std::string local_entry_name(const char* stored) {
    std::string name = stored;
    for (char& c : name)
        if (is_separator(c)) c = local_separator;
    return name;
}

const char* entry_refusal_reason(const char* stored, bool refuse_configuration_names) {
    if (has_control_characters(stored)) return "the name holds control characters";
    if (!name_stays_inside_folder(stored)) return "the name leads outside the target folder";
    if (refuse_configuration_names && names_configuration_file(stored))
        return "the name is that of a configuration file";
    return nullptr;
}

void make_entry_folders(os_output_folder* folder, const std::string& path, bool report) {
    if (path.empty()) return;
    std::string copy = path;
    if (copy.back() == local_separator) copy.pop_back();
    if (copy.empty() || os_output_make_folder(folder, copy.c_str()) == os_mkdir_made) return;
    for (size_t i = 1; i <= copy.size(); ++i) {
        if (i < copy.size() && copy[i] != local_separator) continue;
        std::string prefix = copy.substr(0, i);
        // A folder that exists already is fine; a missing parent means the chain is broken.
        if (os_output_make_folder(folder, prefix.c_str()) == os_mkdir_no_parent) {
            if (report) std::printf("couldn't create directory %s\n", prefix.c_str());
            return;
        }
    }
}

output_file_ptr create_entry_file(os_output_folder* folder, const std::string& name, int& error, bool report) {
    output_file_ptr file(os_output_file_create(folder, name.c_str(), &error));
    size_t cut = name.rfind(local_separator);
    if (!file && cut != std::string::npos && !os_is_out_of_space(error)) {
        make_entry_folders(folder, name.substr(0, cut), report);
        file.reset(os_output_file_create(folder, name.c_str(), &error));
    }
    return file;
}
