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

// The user's temporary folder, always ending in the separator.
bool os_temp_folder(std::wstring& out);

// Full path of the running executable (wide and in the narrow code page).
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
// temporary folder is shared with every other user of the machine.
os_folder_result os_make_private_folder(const std::wstring& path);
