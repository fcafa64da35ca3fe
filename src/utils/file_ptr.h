// A C library stream that closes itself on every path.
#pragma once

#include <cstdio>
#include <memory>

struct file_closer {
    void operator()(FILE* f) const noexcept { std::fclose(f); }
};
using file_ptr = std::unique_ptr<FILE, file_closer>;
