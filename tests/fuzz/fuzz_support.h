// Shared set-up of the fuzz targets: a private scratch folder as the temporary folder (the lock
// folder inside it), the installer's log open at the debug level so that hostile text also goes
// through the log's formatting, and a failure report that libFuzzer records as a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Call first in every LLVMFuzzerTestOneInput (cheap after the first call). Sets up the scratch
// folder once, and reopens the log now and then so that its rotation bounds its size.
void fuzz_begin_input();

// The scratch folder, without a trailing separator. Removed at exit.
const std::string& fuzz_scratch();

// Writes the input to `name` in the scratch folder and returns its path.
std::string fuzz_write_input(const char* name, const uint8_t* data, size_t size);

// Ends the process with `what` on standard error when `condition` is false: libFuzzer keeps the
// input as a crash.
void fuzz_require(bool condition, const char* what);
