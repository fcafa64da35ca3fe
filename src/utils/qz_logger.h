// Optional log sink of the agent-framework modules ("loop_worker", "udp_client", "relay_client",
// "p2p_client"). The installer attaches none, so framework lines go nowhere in the product;
// tests and tools attach one to see them. A module keeps a pointer to the caller's record and
// never copies or frees it: the record must outlive every module it is attached to.
#pragma once

// Framework severities: lower is more serious.
enum qz_log_severity {
    QZ_LOG_FAILURE = 2,   // an operation failed
    QZ_LOG_REFUSED = 3,   // an operation was refused (bad state, full queue, bad input)
    QZ_LOG_WARNING = 4,   // something unexpected that the module worked around
    QZ_LOG_NOTICE = 5,    // progress worth a line in a quiet log
    QZ_LOG_INFO = 6,      // routine progress
    QZ_LOG_TRACE = 7,     // per-item tracing
};

// Receives one finished line (no trailing line break unless the format had one). Called on
// whichever thread logged, possibly several at once: the sink does its own locking.
typedef void (*qz_log_fn)(void* context, int severity, const char* module, const char* file, int line,
                          const char* function, const char* message);

struct qz_logger {
    qz_log_fn write = nullptr;
    void* context = nullptr;
    int max_severity = QZ_LOG_TRACE;   // lines with a higher severity number are not formatted
};

#if defined(__GNUC__)
#define QZ_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define QZ_PRINTF_FORMAT(fmt, args)
#endif

// Formats (printf rules, narrow text) and hands the line to the logger. Does nothing for a null
// logger, a logger without a sink, or a severity above its maximum. Lines longer than 1,023
// bytes are cut.
void qz_log(const qz_logger* logger, int severity, const char* module, const char* file, int line, const char* function,
            const char* format, ...) QZ_PRINTF_FORMAT(7, 8);

// The call site's file, line and function go with every line.
#define QZ_LOG(logger, severity, module, ...) \
    qz_log((logger), (severity), (module), __FILE__, __LINE__, __func__, __VA_ARGS__)
