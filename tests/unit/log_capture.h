// Opens the installer's log in a private temporary folder for one test and reads it back.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

class log_capture {
public:
    log_capture();    // TMPDIR -> a scratch folder; open_log(); mask 0x7F
    ~log_capture();   // close_log()
    std::string log_path() const;
    std::string raw() const;
    // The message part of every line (after the time stamp and the tag).
    std::vector<std::string> messages() const;
    bool contains(const std::string& message) const;
    const scratch_folder& folder() const { return folder_; }

private:
    scratch_folder folder_;
    scoped_env tmpdir_;
};
