// What the extraction and the unpacking of a package while it downloads (zip_stream.h) share
// about an entry's file: the rules for its name, and the making of the file with the folders on
// its way, inside an output folder (os/unpack.h).
#pragma once

#include <memory>
#include <string>

#include "os/unpack.h"

struct output_file_closer {
    void operator()(os_output_file* file) const noexcept { os_output_file_close(file); }
};
using output_file_ptr = std::unique_ptr<os_output_file, output_file_closer>;

// The stored name (with '/' or, from some Windows tools, '\') with local separators.
std::string local_entry_name(const char* stored);

// Null when an entry of this stored name may be written; otherwise why not. The install package
// also refuses the configuration package's names.
const char* entry_refusal_reason(const char* stored, bool refuse_configuration_names);

// Creates every missing folder of `path` (local separators), relative to the output folder.
// `report`: a broken chain is printed on standard output.
void make_entry_folders(os_output_folder* folder, const std::string& path, bool report);

// Creates (truncating) the entry's file, making its folders when they are missing; `error`
// receives the system's error number of a failed creation.
output_file_ptr create_entry_file(os_output_folder* folder, const std::string& name, int& error, bool report);
