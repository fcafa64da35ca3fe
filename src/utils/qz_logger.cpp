#include "utils/qz_logger.h"

#include <cstdarg>
#include <cstdio>

void qz_log(const qz_logger* logger, int severity, const char* module, const char* file, int line, const char* function,
            const char* format, ...) {
    if (logger == nullptr || logger->write == nullptr || severity > logger->max_severity) {
        return;
    }
    char message[1024];
    va_list args;
    va_start(args, format);
    int written = std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (written < 0) {
        message[0] = '\0';
    }
    logger->write(logger->context, severity, module, file, line, function, message);
}
