// Starts this program again as a helper process with another user's rights, hands it some
// input and collects its output, within a time limit.
//
// The helper is started as this program (/proc/self/exe) with the helper flag, a clean
// environment (never the other user's: the dynamic loader would honour it while the process
// still has root's rights), no descriptor but a socket on standard input and output (standard
// error goes to /dev/null), "/" as its working folder, its own process group and default
// signal handling. It drops to the given user itself, first thing. Whatever it writes back is
// untrusted: the caller parses it strictly.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <string>
#include <vector>

constexpr char helper_flag[] = "--qsw-desktop-proxy-helper";

struct helper_identity {
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

struct helper_result {
    bool started = false;
    bool timed_out = false;        // killed (with its process group) at the time limit
    bool exited_cleanly = false;   // exit code 0
    std::string output;            // at most `output_capacity` bytes
};

// argv of the helper: program, helper_flag, then `arguments` (the identity is passed by the
// caller inside them). `input` is written to its standard input, which is then closed.
helper_result run_helper_process(const std::vector<std::string>& arguments, const std::string& input, int seconds,
                                 size_t output_capacity);

// "1000,24,27" / "-" for no groups; strict.
std::string format_group_list(const std::vector<gid_t>& groups);
bool parse_group_list(const std::string& text, std::vector<gid_t>& groups);
bool parse_id(const std::string& text, unsigned* id);
