// The deployment's connection data: appended to the executable by the management server and
// copied into the work folder at run time, or named by the user with -c.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct run_context;

constexpr size_t trailer_size = 40;   // "<bs>NNNNNNNNNNN</bs><ds>NNNNNNNNNNN</ds>"

// Where the connection data lies in a file of `file_size` bytes whose last 40 bytes are
// `trailer`: false when the trailer gives no length or a range outside the file.
bool parse_connection_trailer(const char* trailer, uint64_t file_size, uint64_t* offset, uint64_t* length);

// Copies the connection data of `executable` into `output`. 1 when exactly all of it was copied.
int extract_connection_data(const wchar_t* executable, const wchar_t* output);
// The same with the executable's path as the file system's bytes, which need not be text in
// the user's locale.
int extract_connection_data_from(const std::string& executable, const wchar_t* output);

// The connection-data file of this run (the -c file, or the work folder's coninfo.xml written
// from the executable) in `path`; sets the run's resume flag. 1 on success.
int prepare_connection_data(run_context* ctx, std::wstring& path);
