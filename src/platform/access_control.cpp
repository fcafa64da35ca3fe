#include "platform/access_control.h"

#include <new>

#include "os/access_protection.h"

struct access_control_session {
    os_access_protection* protection = nullptr;
};

access_control_session* open_access_control_session() {
    os_access_protection* protection = os_access_protection_open();
    if (!protection) return nullptr;
    auto* session = new (std::nothrow) access_control_session;
    if (!session) {
        os_access_protection_close(protection);
        return nullptr;
    }
    session->protection = protection;
    return session;
}

void add_access_exception(access_control_session* session, const char* path) {
    if (!session || !path) return;
    os_access_protection_allow(session->protection, path);
}

void close_access_control_session(access_control_session* session) {
    if (!session) return;
    os_access_protection_close(session->protection);
    delete session;
}
