#include "clients/relay/relay_download.h"

// The relay mechanism is not built yet: it fails, which ends the search for a road.
int download_via_relay(run_context*, const wchar_t*, const wchar_t*) { return 0; }
