// Copies into fixed-capacity buffers that can never overflow: a copy that does not fit is a
// result (false, and an empty buffer), not undefined behaviour.
#pragma once

#include <cstddef>
#include <string>

bool copy_text(wchar_t* out, size_t capacity, const wchar_t* in);
bool copy_text(char* out, size_t capacity, const char* in);

// Wide printf into a fixed buffer; false (and an empty buffer) when the text does not fit.
bool format_text(wchar_t* out, size_t capacity, const wchar_t* format, ...);

// The narrow form of a path for the C library, when it fits the 260-byte path buffers.
bool narrow_path(const wchar_t* path, std::string& out);
