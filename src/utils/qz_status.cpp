#include "utils/qz_status.h"

const char* qz_status_name(int status) {
    switch (status) {
#define QZ_STATUS_NAME(name, value, text) \
    case value: return #name;
        QZ_STATUS_MAP(QZ_STATUS_NAME)
#undef QZ_STATUS_NAME
    }
    return "unknown status";
}

const char* qz_status_text(int status) {
    switch (status) {
#define QZ_STATUS_TEXT(name, value, text) \
    case value: return text;
        QZ_STATUS_MAP(QZ_STATUS_TEXT)
#undef QZ_STATUS_TEXT
    }
    return "unknown status";
}
