// Message catalogue: the texts shown to a person (dialog lines, buttons, message boxes), in the
// language of the user's default locale. Log lines are never translated.
#pragma once

#include <cstddef>

// Ids used by name in the code; the catalogue holds 0-53 (53 in English only).
enum message_id {
    MSG_STARTING = 0,
    MSG_INITIALIZING = 1,
    MSG_FETCHING_CONNECTION_DATA = 2,
    MSG_MAKING_CONNECTION_URL = 3,
    MSG_GENERATING_PARAMETERS = 4,
    MSG_DOWNLOADING_CONFIG = 5,
    MSG_VERIFYING_CONFIG = 6,
    MSG_DECOMPRESSING_CONFIG = 7,
    MSG_DOWNLOADING_INSTALL = 8,
    MSG_VERIFYING_INSTALL_FILE = 9,
    MSG_DECOMPRESSING_INSTALL = 10,
    MSG_INSTALLING_AGENT = 11,
    MSG_CLEANING_UP = 12,
    MSG_INSTALLATION_FINISHED = 13,
    MSG_ABORTING = 14,
    MSG_MODULE_NAME_FAILED = 16,
    MSG_URL_NOT_FOUND = 17,
    MSG_GUID_FAILED = 19,
    MSG_GENERATING_URL = 20,
    MSG_VERIFYING_INSTALL_FILE_FAILED = 26,
    MSG_DECOMPRESSING_INSTALL_FAILED = 27,
    MSG_INSTALLATION_FAILED = 28,
    MSG_ERROR_END = 30,
    MSG_INVALID_TOKEN = 31,
    MSG_USE_COUNT_OVER = 32,
    MSG_HELP_TITLE = 34,
    MSG_HELP_TEXT = 35,
    MSG_TRYING_PEERS = 38,
    MSG_TRYING_DIRECT = 39,
    MSG_USING_RELAY = 40,
    MSG_USING_PROXY = 41,
    MSG_ALL_FAILED = 42,
    MSG_ANOTHER_INSTANCE = 44,
    MSG_UPGRADE_FAILED = 45,
    MSG_BUTTON_OK = 46,
    MSG_BUTTON_CANCEL = 47,
    MSG_NO_CONNECTION_DATA = 48,
    MSG_NEXT = 51,
    MSG_WELCOME = 52,
    MSG_OS_NOT_SUPPORTED = 53,
};

// Sets the active catalogue from the user's default locale. Returns 1.
int select_language();

// Sets the active catalogue for a Windows locale id: exact match, English otherwise.
void select_language_for_lcid(unsigned lcid);

// The text of `id` in the active catalogue, or "???" when the catalogue has no such entry.
// The returned text is constant data; callers copy it before formatting.
const wchar_t* get_message_text(int id);
