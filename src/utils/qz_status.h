// Status codes of the agent-framework modules (peer network). One list makes both the enum
// and the names used by tests and log lines.
#pragma once

#define QZ_STATUS_MAP(X)                                                          \
    X(QZ_OK, 0, "success")                                                        \
    X(QZ_ERR_MISSING_ARGUMENT, 1, "missing argument")                             \
    X(QZ_ERR_WRONG_STATE, 2, "wrong state or wrong value type")                   \
    X(QZ_ERR_FAILED, 3, "operation failed")                                       \
    X(QZ_ERR_NO_MEMORY, 4, "out of memory or queue full")                         \
    X(QZ_ERR_NO_CONTENT, 11, "message without content")                           \
    X(QZ_ERR_KEY_NOT_FOUND, 12, "key not in table")                               \
    X(QZ_ERR_NO_INTERFACE, 24, "no network interface")                            \
    X(QZ_ERR_UNPACK_EXTRA, 401, "undecodable MessagePack (extra bytes)")          \
    X(QZ_ERR_UNPACK_CONTINUE, 402, "undecodable MessagePack (incomplete)")        \
    X(QZ_ERR_UNPACK_PARSE, 403, "undecodable MessagePack (parse error)")          \
    X(QZ_ERR_BAD_SHAPE, 501, "pipe set-up failure or message of the wrong shape") \
    X(QZ_ERR_CONTENT_NOT_FOUND, 2501, "P2P content not found")                    \
    X(QZ_ERR_UDP_TIMEOUT, 2601, "UDP request ended by its time-out")              \
    X(QZ_ERR_UDP_ENDED_EARLY, 2602, "UDP request ended early")                    \
    X(QZ_ERR_UDP_RUNNING, 2605, "UDP request still running")                      \
    X(QZ_ERR_RELAY_MALFORMED, 2701, "malformed relay reply")                      \
    X(QZ_ERR_RELAY_ACTIVE, 2702, "relay discovery already active")                \
    X(QZ_ERR_RELAY_NOTHING_SENT, 2703, "relay discovery sent nothing")

enum qz_status {
#define QZ_STATUS_ENUM(name, value, text) name = value,
    QZ_STATUS_MAP(QZ_STATUS_ENUM)
#undef QZ_STATUS_ENUM
};

// "QZ_ERR_UDP_TIMEOUT" for 2601; "unknown status" for numbers outside the list.
const char* qz_status_name(int status);
// The description: "UDP request ended by its time-out" for 2601.
const char* qz_status_text(int status);
