// The growing archive is an archive source opened beside its writer; the platforms differ only
// in how they share the file (archive_source_open).
#include "os/shared/archive_source.h"
#include "os/unpack.h"

#include <new>

struct os_growing_archive {
    archive_source* source = nullptr;
    ~os_growing_archive() { archive_source_close(source); }
};

os_growing_archive* os_growing_archive_open(const char* path) {
    auto* archive = new (std::nothrow) os_growing_archive;
    uint64_t size = 0;
    if (archive && !(archive->source = archive_source_open(path, size, true))) {
        delete archive;
        return nullptr;
    }
    return archive;
}

bool os_growing_archive_read_at(os_growing_archive* archive, unsigned char* out, size_t size, uint64_t offset,
                                size_t& got) {
    got = 0;
    return archive && archive_source_read_at(archive->source, out, size, offset, got);
}

void os_growing_archive_close(os_growing_archive* archive) { delete archive; }
