// The host a URL dials, for the checks that depend on it: which names the server's certificate
// must carry, and whether an address needs an IPv6 scope.
#pragma once

#include <string>

// The host of an absolute URL as libcurl reads it, IPv6 literals without brackets and zone
// ("https://[fe80::1%25eth0]:443/x" -> "fe80::1"). Empty when the URL cannot be read.
std::string url_host(const char* url);

// True when `host` is an IPv6 literal of the link-local range fe80::/10.
bool is_link_local_ipv6(const std::string& host);
