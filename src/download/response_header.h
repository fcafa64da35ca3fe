// Splitting of one raw response header line, as libcurl hands it to the header hook. The line
// comes from the server (or anyone on the path of a plain HTTP transfer).
#pragma once

#include <cstddef>
#include <string>

// Name and value of a "Name: value" line; the value ends before the line end. False for a line
// without a colon (the status line, the empty line) and for one that is not UTF-8.
bool split_response_header(const char* line, size_t size, std::wstring& name, std::wstring& value);
