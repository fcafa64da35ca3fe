// Text services: wide/narrow conversions under the user's locale, UTF-8, and wide formatting.
// Wide text is wchar_t; "narrow" is the code page of the user's locale (the ANSI code page on
// Windows, the C library's multibyte encoding under setlocale(LC_ALL, "") on POSIX).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// In our own wide format strings a narrow-string argument is written with this macro, so that
// the printed text is the same on both runtimes (glibc reads %s as narrow, Windows as wide):
//   log_message(SEV_INFO, L"Couldn't find the specified executable: " OS_NARROW_S, path);
#ifdef _WIN32
#define OS_NARROW_S "%hs"
#else
#define OS_NARROW_S "%s"
#endif

// Sets the runtime locale for all categories to the user's default. Call once, first.
void os_use_user_locale();

// Locale conversions. False when a character cannot be converted.
bool os_to_narrow(const std::wstring& in, std::string& out);
bool os_to_wide(const std::string& in, std::wstring& out);

// For display and logs: characters the locale cannot express become '?'.
std::string os_to_narrow_lossy(const std::wstring& in);

// For display and logs of bytes that need not be text in the locale (file names, arguments):
// every byte that does not start a character appears as \xNN, so nothing is dropped silently.
std::wstring os_to_wide_shown(const std::string& in);

// Bounded forms for fixed-capacity buffers: false (and an empty output) when the conversion
// fails or the result with its terminator does not fit in `capacity` units.
bool os_to_narrow(const wchar_t* in, char* out, size_t capacity);
bool os_to_wide(const char* in, wchar_t* out, size_t capacity);

// Strict UTF-8, independent of the locale. False on invalid input.
bool os_utf8_from_wide(const std::wstring& in, std::string& out);
bool os_wide_from_utf8(const std::string& in, std::wstring& out);

// Wide printf into a growing string. False when the format cannot be rendered.
bool os_format_wide(std::wstring& out, const wchar_t* format, va_list args);
