// The command-line split of the agent installer's own runtime, the same on every platform: the
// line is built in that runtime's quoting and must come apart exactly as the installer reads it.
#include <string>
#include <vector>

#include "os/process.h"

std::vector<std::wstring> os_split_command_line(const std::wstring& line) {
    std::vector<std::wstring> args;
    size_t i = 0, n = line.size();
    while (i < n) {
        while (i < n && (line[i] == L' ' || line[i] == L'\t')) ++i;
        if (i >= n) break;
        std::wstring arg;
        bool quoted = false;
        while (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            size_t backslashes = 0;
            while (i < n && line[i] == L'\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && line[i] == L'"') {
                arg.append(backslashes / 2, L'\\');
                if (backslashes % 2) {
                    arg += L'"';
                } else if (quoted && i + 1 < n && line[i + 1] == L'"') {
                    arg += L'"';   // "" inside quotes is a literal quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(backslashes, L'\\');
                if (i < n && (quoted || (line[i] != L' ' && line[i] != L'\t'))) arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}
