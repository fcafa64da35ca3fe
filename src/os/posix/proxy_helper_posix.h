// The work of the desktop proxy helper process, which runs with the desktop user's rights and
// environment (see helper_process_posix.h). Its arguments after the helper flag:
//   settings <uid> <gid> <groups> <shell image>
//   resolve  <uid> <gid> <groups> <shell image> <url> <script url, or -> <user agent>
// and its standard input carries the user's environment (NUL-separated NAME=value entries).
#pragma once

#include <string>

constexpr int helper_settings_seconds = 10;
constexpr int helper_resolve_seconds = 20;
constexpr size_t helper_environment_capacity = 60 * 1024;

// Reads a regular file of at most `capacity` bytes (a FIFO or device is refused, never waited
// on). False when it is absent (*missing set), not regular, larger or unreadable.
bool read_bounded_file(const std::string& path, size_t capacity, std::string& text, bool* missing = nullptr);

// The user's proxy configuration reply (proxy_sources_posix.h), or empty when it cannot be read.
std::string read_desktop_proxy_settings(const std::string& shell_image);

// The resolution reply for `url`: the script at `script_url` ("-": found by automatic
// detection, DHCP then DNS) evaluated with the system's PAC library.
std::string resolve_proxy_with_script(const std::string& url, const std::string& script_url,
                                      const std::string& user_agent);
