#include "log_capture.h"

#include <algorithm>
#include <sstream>

#include "bootstrap/log.h"

log_capture::log_capture() : tmpdir_("TMPDIR", folder_.path()) {
    open_log();
    set_severity_mask(log_debug_mask);
}

log_capture::~log_capture() {
    close_log();
    set_severity_mask(log_default_mask);
}

std::string log_capture::log_path() const { return folder_.file("HolvenLogs/HolvenSwiftset.log"); }

std::string log_capture::raw() const { return read_whole_file(log_path()); }

std::vector<std::string> log_capture::messages() const {
    std::vector<std::string> out;
    std::istringstream in(raw());
    std::string line;
    while (std::getline(in, line)) {
        size_t first = line.find('\t');
        size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
        if (second != std::string::npos) out.push_back(line.substr(second + 1));
    }
    return out;
}

bool log_capture::contains(const std::string& message) const {
    auto all = messages();
    return std::find(all.begin(), all.end(), message) != all.end();
}
