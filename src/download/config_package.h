// FrameworkConfig.zip from the agent handler (IP, then FQDN, then NetBIOS host), and the download
// event handler through which both package retrievals report and extract.
#pragma once

struct run_context;
struct proxy_record;

// Download events.
enum download_event {
    EVENT_CONFIG_DOWNLOAD_STARTED = 2,   // text: the URL without its query
    EVENT_FILE_VERIFIED = 3,             // text: the file
    EVENT_FILE_VERIFY_FAILED = 4,
    EVENT_FILE_VERIFYING = 5,
    EVENT_EXTRACT_INSTALL_PACKAGE = 6,   // text: FrameworkInstall.zip's path; returns 1 when extracted
    EVENT_QUERY_CANCEL = 7,              // returns the cancel flag
    // Any other number in the configuration phase is an HTTP response code (text: the code).
};

// The handler of every download event. Its result depends on the event (see above).
int on_download_event(const wchar_t* text, int event, run_context* ctx);

// Fetches FrameworkConfig.zip into the work folder. 1 when stored with response 200; then
// `package_path` (260 characters, may be null) receives its path. `route` may be null.
int retrieve_config_package(const wchar_t* work_folder, const wchar_t* config_url, wchar_t* package_path,
                            run_context* ctx, proxy_record* route);
