// Paths: the separator, the temporary folder, the running executable, private folders.
#pragma once

#include <string>

#ifdef _WIN32
constexpr wchar_t os_path_separator = L'\\';
#define OS_SEP_S L"\\"
#else
constexpr wchar_t os_path_separator = L'/';
#define OS_SEP_S L"/"
#endif

// The temporary folder, always ending in the separator. On POSIX `$TMPDIR` when it is set and
// absolute, else the installer's own folder that only its user can write (see below).
bool os_temp_folder(std::wstring& out);

// The installer's own temporary folder, used when `$TMPDIR` does not name one.
extern const char os_default_temp_folder[];

// Checks once per run that no other user can redirect the temporary folder or anything the
// installer makes below it, so that paths there keep naming the same files for the whole run.
// The installer's own folder is made (0700) first when it is the one in use. False with the
// reason (path, owner, mode) in `why`.
bool os_check_temp_folder(std::string& why);

// The rule behind that check, for one absolute folder (bytes, as the file system takes them):
// every folder from the root down, through links too, is a real directory owned by root or
// the effective user that nobody else can write, unless it also has the sticky bit; a link is
// owned by root or the effective user. With `make_last`, a missing last folder is made 0700.
bool os_check_folder_chain(const std::string& folder, bool make_last, std::string& why);

// Full path of the running executable: wide (false when the locale cannot express it) and as
// the bytes the file system knows it by.
bool os_executable_path(std::wstring& out);
bool os_executable_path_narrow(std::string& out);

enum os_folder_result {
    os_folder_created,   // made now
    os_folder_existed,   // was there already and is safe to use
    os_folder_refused,   // exists but is not ours to trust (a link, another owner, open to others)
    os_folder_failed,    // could not be made
};

// Creates a folder only its owner can use. On POSIX an existing one is accepted only when it is
// a real directory owned by the effective user and not writable by group or others, because the
// temporary folder is shared with every other user of the machine. For a refused or failed
// folder `why` (optional) says what was found: the path, its owner and mode, and the cause.
os_folder_result os_make_private_folder(const std::wstring& path, std::string* why = nullptr);
