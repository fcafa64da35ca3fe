// The process list through a Toolhelp snapshot, and the system's task lister run with its
// output read through an anonymous pipe, for the 32-bit-on-64-bit case where a snapshot does
// not show 64-bit processes' images.
#include "os/processes.h"

#include <windows.h>

#include <tlhelp32.h>

#include <vector>

bool os_find_process_by_image(const std::wstring& image_name, int* process_id) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, image_name.c_str(), -1, TRUE) != CSTR_EQUAL) continue;
        if (process_id) *process_id = static_cast<int>(entry.th32ProcessID);
        found = true;
    }
    CloseHandle(snapshot);
    return found;
}

bool os_is_32bit_process_on_64bit_system() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

namespace {
constexpr size_t program_capacity = 260;
constexpr size_t command_capacity = 259;

struct handle_closer {
    HANDLE handle = nullptr;
    ~handle_closer() { close(); }
    void close() {
        if (handle) CloseHandle(handle);
        handle = nullptr;
    }
};

// An anonymous pipe whose child end is inheritable and whose parent end is not.
bool make_pipe(handle_closer& read_end, handle_closer& write_end, bool parent_reads) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&read_end.handle, &write_end.handle, &inherit, 0)) return false;
    HANDLE parent_end = parent_reads ? read_end.handle : write_end.handle;
    return SetHandleInformation(parent_end, HANDLE_FLAG_INHERIT, 0) != 0;
}

bool task_lister_command(const std::wstring& image_name, bool filter, std::wstring& program, std::wstring& line) {
    wchar_t system[MAX_PATH];
    UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    program = std::wstring(system, n) + L"\\tasklist.exe";
    line = filter ? L" /FI \"IMAGENAME eq " + image_name + L" \" /FO CSV /NH" : L" /FO CSV /NH";
    return program.size() < program_capacity && line.size() < command_capacity;
}
}   // namespace

bool os_run_task_lister(const std::wstring& image_name, bool filter, size_t capacity, std::string& output) {
    output.clear();
    std::wstring program, line;
    if (!task_lister_command(image_name, filter, program, line)) return false;
    handle_closer out_read, out_write, in_read, in_write;
    if (!make_pipe(out_read, out_write, true) || !make_pipe(in_read, in_write, false)) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdOutput = out_write.handle;
    startup.hStdError = out_write.handle;
    startup.hStdInput = in_read.handle;
    std::vector<wchar_t> command(line.begin(), line.end());
    command.push_back(L'\0');
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started))
        return false;
    CloseHandle(started.hProcess);
    CloseHandle(started.hThread);
    out_write.close();   // reading ends when the lister ends
    output.resize(capacity);
    size_t filled = 0;
    DWORD n = 0;
    while (filled < capacity &&
           ReadFile(out_read.handle, &output[filled], static_cast<DWORD>(capacity - filled), &n, nullptr) && n > 0)
        filled += n;
    output.resize(filled);
    return true;
}
