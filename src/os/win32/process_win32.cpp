// CreateProcessW with exactly the handles the program must have: input from NUL, this
// process's output and error, and the lock to keep held. Nothing else this process has open
// (the log file, sockets, the loop worker's pipe) reaches the agent installer.
#include "os/process.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "os/win32/named_lock_win32.h"

struct os_process {
    HANDLE handle = nullptr;
    ~os_process() {
        if (handle) CloseHandle(handle);
    }
};

namespace {
// Inheritable copies of the handles the program gets; closed here once it has started.
class inherited_handles {
public:
    ~inherited_handles() {
        for (HANDLE h : owned_) CloseHandle(h);
    }
    HANDLE add_copy(HANDLE source) {
        HANDLE copy = nullptr;
        if (!source || source == INVALID_HANDLE_VALUE ||
            !DuplicateHandle(GetCurrentProcess(), source, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
            return nullptr;
        owned_.push_back(copy);
        return copy;
    }
    HANDLE add_null_input() {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE nul =
            CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
        if (nul == INVALID_HANDLE_VALUE) return nullptr;
        owned_.push_back(nul);
        return nul;
    }
    std::vector<HANDLE>& list() { return owned_; }

private:
    std::vector<HANDLE> owned_;
};

// The attribute list that limits inheritance to `handles`.
class handle_list_attribute {
public:
    explicit handle_list_attribute(std::vector<HANDLE>& handles) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.reset(new (std::nothrow) char[size]);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
        if (!list_ || !InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
            list_ = nullptr;
            return;
        }
        initialised_ = true;
        if (!handles.empty() && !UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles.data(),
                                                           handles.size() * sizeof(HANDLE), nullptr, nullptr))
            list_ = nullptr;
    }
    ~handle_list_attribute() {
        if (initialised_) DeleteProcThreadAttributeList(reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get()));
    }
    handle_list_attribute(const handle_list_attribute&) = delete;
    handle_list_attribute& operator=(const handle_list_attribute&) = delete;
    LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

private:
    std::unique_ptr<char[]> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    bool initialised_ = false;
};
}   // namespace

os_process* os_start_process(const std::wstring& command_line, int* start_error, os_named_lock* keep_held) {
    int ignored = 0;
    int& error = start_error ? *start_error : ignored;
    inherited_handles handles;
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = handles.add_null_input();
    startup.StartupInfo.hStdOutput = handles.add_copy(GetStdHandle(STD_OUTPUT_HANDLE));
    startup.StartupInfo.hStdError = handles.add_copy(GetStdHandle(STD_ERROR_HANDLE));
    handles.add_copy(named_lock_handle(keep_held));
    handle_list_attribute attribute(handles.list());
    if (!attribute.get()) {
        error = static_cast<int>(GetLastError());
        return nullptr;
    }
    startup.lpAttributeList = attribute.get();
    // Made before the start: once the program runs, nothing may fail before it is waited for.
    auto process = std::make_unique<os_process>();
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, !handles.list().empty(),
                        CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo,
                        &started)) {
        error = static_cast<int>(GetLastError());
        return nullptr;
    }
    CloseHandle(started.hThread);
    process->handle = started.hProcess;
    return process.release();
}

os_exit os_wait_process(os_process* process) {
    os_exit result;
    if (!process) return result;
    DWORD code = 0;
    if (WaitForSingleObject(process->handle, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process->handle, &code)) {
        result.read = true;
        result.code = static_cast<int>(code);
    }
    delete process;
    return result;
}
