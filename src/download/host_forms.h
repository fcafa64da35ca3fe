// The forms of a server's host that both retrievals try in turn, in this order: its IP address,
// its fully qualified name, its NetBIOS name. One row per form: where each retrieval finds the
// host, and the lines each logs on entering the form, on trying it and when the form is missing.
#pragma once

#include <cstddef>

#include "config/site_list.h"

struct host_form_lines {
    const wchar_t* enter;     // on entering the form
    const wchar_t* trying;    // with the URL or host tried (one %ls)
    const wchar_t* missing;   // the form is not known; null where it always is
};

struct host_form {
    bool address;   // an address: an IPv6 one is written in brackets
    // Configuration package: the ConInfo element of the host, or null for the configuration
    // URL itself (made from bsurl).
    const wchar_t* coninfo_element;
    host_form_lines config;
    // Install package: the site list's field of the host, and the line of a cancel noticed as
    // the form is entered.
    wchar_t (site_record::*site_field)[site_text_capacity];
    host_form_lines install;
    const wchar_t* install_aborted;
};

constexpr size_t host_form_count = 3;
extern const host_form host_forms[host_form_count];
