// The zip archive reader behind minizip, the same on every platform; the platform opens the
// file and reads at offsets (archive_source.h).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "os/shared/archive_source.h"
#include "os/unpack.h"

// ---- archive reading ------------------------------------------------------------------------
// minizip reads headers a few bytes at a time and jumps between the central directory and the
// entries. Two read-ahead windows serve those reads with few system calls: one settles on the
// central directory, the other follows the entry data. Large reads bypass the windows.
//
// minizip takes an end-of-archive record found at offset 0 for "not found", so an archive that
// is nothing but that record (one without entries) would not open. Such a file is shown to
// minizip behind one zero byte; minizip counts leading bytes out of every offset, as it does
// for self-extracting archives, so the archive reads as the empty one it is.
namespace {
constexpr size_t window_size = 64 * 1024;

struct read_window {
    std::unique_ptr<unsigned char[]> data;
    ZPOS64_T start = 0;   // file offset of data[0]
    size_t length = 0;    // valid bytes
    unsigned long used = 0;
};

struct archive_file {
    archive_source* source = nullptr;
    ZPOS64_T file_size = 0;
    ZPOS64_T padding = 0;    // zero bytes shown before the file
    ZPOS64_T position = 0;   // in the padded view
    read_window windows[2];
    unsigned long clock = 0;

    ~archive_file() { archive_source_close(source); }
    ZPOS64_T size() const { return padding + file_size; }
};

bool starts_with_end_record(archive_source* source, ZPOS64_T size) {
    unsigned char head[4];
    size_t got = 0;
    return size >= 22 && archive_source_read_at(source, head, sizeof head, 0, got) && got == 4 && head[0] == 'P' &&
           head[1] == 'K' && head[2] == 5 && head[3] == 6;
}

// The window holding file offset `at`, refilled when none does. Null on a read error.
read_window* window_for(archive_file* archive, ZPOS64_T at) {
    read_window* oldest = &archive->windows[0];
    for (read_window& w : archive->windows) {
        if (at >= w.start && at < w.start + w.length) {
            w.used = ++archive->clock;
            return &w;
        }
        if (w.used < oldest->used) oldest = &w;
    }
    if (!oldest->data) oldest->data.reset(new (std::nothrow) unsigned char[window_size]);
    size_t got = 0;
    if (!oldest->data || !archive_source_read_at(archive->source, oldest->data.get(), window_size, at, got) || got == 0)
        return nullptr;
    oldest->start = at;
    oldest->length = got;
    oldest->used = ++archive->clock;
    return oldest;
}

voidpf ZCALLBACK archive_open(voidpf, const void* filename, int mode) {
    if (!filename || (mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
    std::unique_ptr<archive_file> archive(new (std::nothrow) archive_file);
    if (!archive) return nullptr;
    uint64_t size = 0;
    archive->source = archive_source_open(static_cast<const char*>(filename), size);
    if (!archive->source) return nullptr;
    archive->file_size = size;
    if (starts_with_end_record(archive->source, archive->file_size)) archive->padding = 1;
    return archive.release();
}

uLong ZCALLBACK archive_read(voidpf, voidpf stream, void* buf, uLong size) {
    auto* archive = static_cast<archive_file*>(stream);
    auto* out = static_cast<unsigned char*>(buf);
    uLong done = 0;
    for (; done < size && archive->position < archive->padding; ++done, ++archive->position) out[done] = 0;
    while (done < size && archive->position < archive->size()) {
        ZPOS64_T at = archive->position - archive->padding;
        size_t want = static_cast<size_t>(size - done);
        size_t got = 0;
        if (want >= window_size) {
            if (!archive_source_read_at(archive->source, out + done, want, at, got) || got == 0) break;
        } else {
            read_window* w = window_for(archive, at);
            if (!w) break;
            size_t offset = static_cast<size_t>(at - w->start);
            got = std::min(want, w->length - offset);
            std::memcpy(out + done, w->data.get() + offset, got);
        }
        done += static_cast<uLong>(got);
        archive->position += got;
    }
    return done;
}

uLong ZCALLBACK archive_write(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK archive_tell(voidpf, voidpf stream) { return static_cast<archive_file*>(stream)->position; }

long ZCALLBACK archive_seek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* archive = static_cast<archive_file*>(stream);
    ZPOS64_T base;
    switch (origin) {
        case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
        case ZLIB_FILEFUNC_SEEK_CUR: base = archive->position; break;
        case ZLIB_FILEFUNC_SEEK_END: base = archive->size(); break;
        default: return -1;
    }
    if (offset > archive->size() || base > archive->size() - offset) return -1;
    archive->position = base + offset;
    return 0;
}

int ZCALLBACK archive_close(voidpf, voidpf stream) {
    delete static_cast<archive_file*>(stream);
    return 0;
}

int ZCALLBACK archive_error(voidpf, voidpf) { return 0; }
}   // namespace

void os_fill_zip_file_functions(zlib_filefunc64_def* functions) {
    functions->zopen64_file = archive_open;
    functions->zread_file = archive_read;
    functions->zwrite_file = archive_write;
    functions->ztell64_file = archive_tell;
    functions->zseek64_file = archive_seek;
    functions->zclose_file = archive_close;
    functions->zerror_file = archive_error;
    functions->opaque = nullptr;
}
