#include "log_capture.h"

#include <algorithm>

#include "core/log.h"
#include "fixtures/test_helpers.h"

log_capture::log_capture() : tmpdir_(temp_folder_variable, folder_.path()) {
    open_log();
    set_severity_mask(log_debug_mask);
}

log_capture::~log_capture() {
    close_log();
    set_severity_mask(log_default_mask);
}

std::string log_capture::log_path() const {
    return folder_.file("HolvenLogs") + native_separator + "HolvenSwiftset.log";
}

std::string log_capture::raw() const { return read_whole_file(log_path()); }

std::vector<std::string> log_capture::messages() const { return log_messages(raw()); }

bool log_capture::contains(const std::string& message) const {
    auto all = messages();
    return std::find(all.begin(), all.end(), message) != all.end();
}
