// The installer's side of the endpoint platform's access protection: a temporary exception, for
// this process and thread, to write into the installed agent's guarded folders. None of the calls
// reports an error and nothing is logged: without the exception the writes succeed or fail on
// the folders' ordinary permissions. All calls run on the install worker thread, which is the
// thread that writes.
#pragma once

#include <memory>

struct access_control_session;

// A session, or null when the platform component is absent or refuses.
access_control_session* open_access_control_session();

// Asks that the calling thread may write `path` (UTF-8). A null session is ignored.
void add_access_exception(access_control_session* session, const char* path);

// Withdraws everything granted through the session and releases it. A null session is ignored.
void close_access_control_session(access_control_session* session);

struct access_control_session_closer {
    void operator()(access_control_session* session) const noexcept { close_access_control_session(session); }
};
using access_control_session_ptr = std::unique_ptr<access_control_session, access_control_session_closer>;
