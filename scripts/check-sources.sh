#!/usr/bin/env bash
# Checks of the source tree that the compiler cannot make (part of scripts/test.sh):
#  1. POSIX and Linux headers are included only by the POSIX platform layer, src/os/posix/
#     (and src/os/win32/, where the Windows runtime's headers of the same names are meant).
#     Checked: src/ and tools/ (programs for administrators, which the Windows edition builds
#     too). Not checked: tests/, bench/ and demo/, which test or measure this platform.
#  2. Nothing outside src/os/posix/ (and the tests) includes a header of src/os/posix/, and
#     nothing outside src/os/ asks which system it is compiled for.
#  3. Every C++ file of src/, tools/, tests/ and bench/ is formatted as .clang-format says
#     (clang-format 14).
set -euo pipefail
cd "$(dirname "$0")/.."
status=0

posix_headers='unistd|fcntl|sys/[a-z_/]+|dirent|pthread|netdb|arpa/[a-z_]+|netinet/[a-z_0-9]+|net/[a-z_]+|signal|poll|termios|spawn|ifaddrs|dlfcn|pwd|grp|linux/[a-z_0-9/]+|sched|semaphore|syslog|utime|utmpx?|libgen|strings|fnmatch|glob|wordexp|langinfo|iconv|mqueue|aio|nl_types|regex|ftw|fmtmsg|ndbm|search|ucontext|ulimit|tar|cpio|termio|err|error|execinfo|link|mntent|paths|resolv|shadow|sysexits|values|malloc|endian|byteswap|features|gnu/[a-z_]+|bits/[a-z_]+|asm/[a-z_]+'
found=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*<(${posix_headers})\.h>" src tools \
            --include='*.cpp' --include='*.h' | grep -vE '^src/os/(posix|win32)/' || true)
if [ -n "$found" ]; then
    echo "check-sources: POSIX or Linux headers outside src/os/posix/ (put the call behind src/os/):" >&2
    echo "$found" >&2
    status=1
fi

found=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"os/posix/' src tools bench \
            --include='*.cpp' --include='*.h' | grep -v '^src/os/posix/' || true)
if [ -n "$found" ]; then
    echo "check-sources: headers of src/os/posix/ included outside it:" >&2
    echo "$found" >&2
    status=1
fi

found=$(grep -rnE '^[[:space:]]*#[[:space:]]*(if|ifdef|ifndef|elif).*(_WIN32|__linux__|__unix__|__APPLE__)' src tools \
            --include='*.cpp' --include='*.h' | grep -v '^src/os/' || true)
if [ -n "$found" ]; then
    echo "check-sources: system tests outside src/os/:" >&2
    echo "$found" >&2
    status=1
fi

if [ -f .clang-format ]; then
    mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tests/*.cpp' 'tests/*.h' \
                                         'bench/*.cpp' 'bench/*.h')
    if ! report=$(clang-format-14 --dry-run -Werror --style=file "${files[@]}" 2>&1); then
        echo "check-sources: files not formatted as .clang-format says (clang-format-14 -i FILE):" >&2
        grep -oE '^[^:]+\.(cpp|h)' <<<"$report" | sort -u >&2
        status=1
    fi
fi

exit $status
