// The loop worker's hand-over pipe is a named pipe of this process: libuv reads the server end
// with overlapped I/O, which an anonymous pipe does not offer. The name carries the process id
// and a counter; a name that is taken (ERROR_ACCESS_DENIED with FILE_FLAG_FIRST_PIPE_INSTANCE:
// another process made it first, perhaps to be read by us) is never joined, another is tried.
// Both ends are wrapped as runtime descriptors with binary mode asked for explicitly: a text-mode
// descriptor would turn each 0x0A byte of an item's address into two bytes, and which mode the
// flags 0 give differs between C runtimes.
#include "os/pipe.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <atomic>
#include <string>

namespace {
constexpr DWORD server_open_mode = PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED;
constexpr DWORD input_buffer = 4096;
constexpr int name_attempts = 64;
std::atomic<unsigned> pipe_counter{0};

std::wstring next_pipe_name() {
    return L"\\\\.\\pipe\\qsw-loop-worker-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(pipe_counter.fetch_add(1)) + L"-" + std::to_wstring(GetTickCount());
}

HANDLE create_server_end(std::wstring& name, DWORD& error) {
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        name = next_pipe_name();
        HANDLE server = CreateNamedPipeW(name.c_str(), server_open_mode, 0, 1, 0, input_buffer, 0, nullptr);
        if (server != INVALID_HANDLE_VALUE) return server;
        error = GetLastError();
        if (error != ERROR_ACCESS_DENIED) return nullptr;
    }
    return nullptr;
}

int wrap(HANDLE handle) { return _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY); }
}   // namespace

int os_pipe_create(int* read_end, int* write_end) {
    std::wstring name;
    DWORD error = ERROR_ACCESS_DENIED;
    HANDLE server = create_server_end(name, error);
    if (!server) return static_cast<int>(error);
    HANDLE client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (client == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        CloseHandle(server);
        return static_cast<int>(error);
    }
    if (!ConnectNamedPipe(server, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
        error = GetLastError();
        CloseHandle(client);
        CloseHandle(server);
        return static_cast<int>(error);
    }
    int reader = wrap(server);
    int writer = reader < 0 ? -1 : wrap(client);
    if (reader < 0 || writer < 0) {
        if (reader >= 0)
            _close(reader);
        else
            CloseHandle(server);
        CloseHandle(client);
        return ERROR_TOO_MANY_OPEN_FILES;
    }
    *read_end = reader;
    *write_end = writer;
    return 0;
}

long os_pipe_write(int end, const void* data, size_t size, int* error) {
    int written = _write(end, data, static_cast<unsigned>(size));
    if (written < 0 && error) *error = errno;
    return written;
}

void os_pipe_close(int end) {
    if (end >= 0) _close(end);
}
