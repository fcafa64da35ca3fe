#include "install/process_lookup.h"

#include <cstdlib>
#include <cwctype>
#include <vector>

#include "os/processes.h"
#include "os/text.h"

namespace {
constexpr size_t image_field_capacity = 511;   // wide characters of the image name field

// The fields of a CSV line split at '"' and ',' (empty ones dropped), as far as needed.
std::vector<std::string> first_fields(const std::string& line, size_t wanted) {
    std::vector<std::string> fields;
    size_t i = 0;
    while (i < line.size() && fields.size() < wanted) {
        while (i < line.size() && (line[i] == '"' || line[i] == ',')) ++i;
        size_t start = i;
        while (i < line.size() && line[i] != '"' && line[i] != ',') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

bool same_name(const std::string& field, const wchar_t* image_name) {
    std::wstring wide;
    if (!os_to_wide(field, wide)) return false;
    if (wide.size() > image_field_capacity) wide.resize(image_field_capacity);
    std::wstring wanted(image_name);
    if (wide.size() != wanted.size()) return false;
    for (size_t i = 0; i < wide.size(); ++i)
        if (std::towlower(wide[i]) != std::towlower(wanted[i])) return false;
    return true;
}
}   // namespace

int find_image_in_task_list(const std::string& output, const wchar_t* image_name, int* process_id) {
    if (!image_name) return 0;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            if (output.size() >= task_list_capacity) return 0;   // cut short: not a whole line
            end = output.size();
        }
        std::string line = output.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line[0] != '"') continue;
        std::vector<std::string> fields = first_fields(line, 2);
        if (fields.empty() || !same_name(fields[0], image_name)) continue;
        if (fields.size() < 2) return 0;
        if (process_id) *process_id = std::atoi(fields[1].c_str());
        return 1;
    }
    return 0;
}

int find_process_id_by_image(const wchar_t* image_name, int* process_id, int filter) {
    if (!image_name || !*image_name) return 0;
    std::string output;
    if (os_run_task_lister(image_name, filter != 0, task_list_capacity, output)) {
        if (output.size() > task_list_capacity) output.resize(task_list_capacity);
        return find_image_in_task_list(output, image_name, process_id);
    }
    int found = 0;
    if (!os_find_process_by_image(image_name, &found)) return 0;
    if (process_id) *process_id = found;
    return 1;
}
