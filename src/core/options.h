// The run options: 16 numbered slots of UTF-8 text, filled once from the command line before the
// install run starts and only read afterwards (no lock needed by later readers).
#pragma once

#include <cstddef>

enum option_slot {
    OPT_CONINFO_PATH = 0,           // -c
    OPT_DATA_PATH = 1,              // -d
    OPT_INSTALL_PATH = 2,           // -i
    OPT_DEBUG_LOG = 3,              // -g, and "1" by default
    OPT_PROXY_ADDRESS = 4,          // -a
    OPT_PROXY_PORT = 5,             // -p
    OPT_PROXY_USER = 6,             // -u
    OPT_PROXY_PASSWORD = 7,         // -w
    OPT_NO_PEER_VERIFICATION = 8,   // -k
    OPT_SILENT = 9,                 // -s
    OPT_VDI_MODE = 10,              // -v: " /enableVDIMode"
    OPT_FORCE_INSTALL = 11,         // -f, -h: " /ForceInstall"
    OPT_DELAY_START = 12,           // -D: " /DelayStart"
    OPT_KEEP_GUID = 13,             // -h: " /keepguid"
    OPT_P2P_PORT = 15,              // no letter; empty means 8082
    OPTION_SLOT_COUNT = 16,
};

// Proxy presence bits of the last parse: 1 -a, 2 -p, 4 -u, 8 -w.
enum proxy_presence : unsigned {
    PROXY_GIVEN_ADDRESS = 1,
    PROXY_GIVEN_PORT = 2,
    PROXY_GIVEN_USER = 4,
    PROXY_GIVEN_PASSWORD = 8,
};

// Stores `text` as UTF-8. Null or empty text is ignored (0); 1 when stored, 0 when the
// conversion or allocation fails (the slot is then unchanged).
int set_option(int slot, const wchar_t* text);

// 0 when `capacity` is null, the slot is empty, or the conversion fails. Otherwise stores the
// needed size (characters + 1) through `capacity`, copies only when `buffer` is given and the old
// capacity was enough, and returns 1 either way: a 1 means "the option was given".
int get_option(int slot, wchar_t* buffer, size_t* capacity);

// The slot's UTF-8 text, or null when empty. Valid until the slot changes.
const char* get_option_utf8(int slot);

// Empties every slot.
void free_options();

unsigned get_proxy_presence_bits();

// 1 = go on with the installation, 0 = stop (the usage box has been shown where due).
int parse_command_line(int argc, const wchar_t* const* argv);

// Shows the help text in a message box.
void show_usage();
