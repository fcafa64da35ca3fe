#include "install/zip_stream.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <system_error>
#include <thread>

#include "install/entry_output.h"
#include "install/entry_sink.h"
#include "install/raw_inflate.h"
#include "os/digest.h"
#include "os/files.h"
#include "os/paths.h"
#include "os/unpack.h"
#include "utils/contained_name.h"

namespace {
constexpr uint32_t local_header_signature = 0x04034b50;
constexpr uint32_t descriptor_signature = 0x08074b50;
constexpr size_t local_header_size = 26;   // after the signature
constexpr uint16_t zip64_extra_tag = 0x0001;
constexpr uint32_t size_in_zip64_extra = 0xFFFFFFFF;
constexpr uint16_t flag_encrypted = 0x0001;
constexpr uint16_t flag_data_descriptor = 0x0008;
constexpr int method_stored = 0;
constexpr int method_deflated = 8;
// The extraction cuts longer stored names, so a file written under one would never be taken.
constexpr size_t longest_name = 255;
constexpr size_t read_capacity = 1 << 20;
constexpr uint64_t unknown_size = UINT64_MAX;

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint64_t le64(const unsigned char* p) { return le32(p) | static_cast<uint64_t>(le32(p + 4)) << 32; }

struct local_header {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t crc = 0;
    uint64_t compressed_size = 0;
    uint64_t size = 0;
    bool zip64 = false;   // sizes in a descriptor are then 8 bytes each
    std::string name;
};

}   // namespace

struct zip_stream {
    std::mutex mutex;
    std::condition_variable changed;
    uint64_t available = 0;   // written and flushed by the writer
    bool complete = false;    // `available` is the archive's length
    bool stopping = false;
    bool walking = false;                  // the thread has not yet ended its walk
    std::vector<std::string> left_alone;   // top-level names never written here, the archive's among them
    std::string target_dir;
    os_growing_archive* archive = nullptr;
    os_output_folder* folder = nullptr;
    std::string partial;   // the file being written, removed when the walk ends inside it
    std::vector<streamed_entry> entries;
    std::thread thread;

    ~zip_stream() {
        os_output_folder_close(folder);
        os_growing_archive_close(archive);
    }

    void walk();
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        if (thread.joinable()) thread.join();
    }
};

namespace {
// The archive from the walk's position on, read as the writer flushes it.
class archive_cursor {
public:
    explicit archive_cursor(zip_stream& stream)
        : stream_(stream), buffer_(new (std::nothrow) unsigned char[read_capacity]) {}
    bool ready() const { return buffer_ != nullptr; }
    uint64_t position() const { return position_; }

    // The bytes at hand from the position on, waiting for the writer when there are none.
    // False at the end of the archive, on a read error, or when the walk is stopped.
    bool chunk(const unsigned char*& data, size_t& size) {
        if (position_ < start_ || position_ >= start_ + length_) {
            if (!refill()) return false;
        }
        size_t at = static_cast<size_t>(position_ - start_);
        data = buffer_.get() + at;
        size = length_ - at;
        return true;
    }

    void consume(size_t size) { position_ += size; }

    bool read(unsigned char* out, size_t size) {
        while (size > 0) {
            const unsigned char* data = nullptr;
            size_t n = 0;
            if (!chunk(data, n)) return false;
            n = std::min(n, size);
            std::memcpy(out, data, n);
            out += n;
            size -= n;
            consume(n);
        }
        return true;
    }

    bool skip(uint64_t size) {
        if (size > unknown_size - position_) return false;
        position_ += size;
        return true;
    }

private:
    bool refill() {
        uint64_t limit = 0;
        {
            std::unique_lock<std::mutex> lock(stream_.mutex);
            stream_.changed.wait(
                lock, [this] { return stream_.stopping || stream_.complete || stream_.available > position_; });
            if (stream_.stopping) return false;
            limit = stream_.available;
        }
        if (limit <= position_) return false;
        size_t want = static_cast<size_t>(std::min<uint64_t>(read_capacity, limit - position_));
        size_t got = 0;
        if (!os_growing_archive_read_at(stream_.archive, buffer_.get(), want, position_, got) || got == 0) return false;
        start_ = position_;
        length_ = got;
        return true;
    }

    zip_stream& stream_;
    std::unique_ptr<unsigned char[]> buffer_;
    uint64_t start_ = 0;   // archive offset of the buffer's first byte
    size_t length_ = 0;
    uint64_t position_ = 0;
};

// Walks the local headers; each step false when the walk must end.
class walker {
public:
    explicit walker(zip_stream& stream) : stream_(stream), cursor_(stream) {
        for (auto& buffer : output_) buffer.reset(new (std::nothrow) unsigned char[entry_block_size]);
    }
    bool ready() const { return cursor_.ready() && output_[0] && output_[1] && inflater_.ready(); }

    bool next_entry() {
        unsigned char signature[4];
        if (!cursor_.read(signature, sizeof signature) || le32(signature) != local_header_signature) return false;
        local_header header;
        if (!read_header(header)) return false;
        if ((header.flags & flag_encrypted) || (header.method != method_stored && header.method != method_deflated))
            return false;
        bool descriptor = (header.flags & flag_data_descriptor) != 0;
        // Stored data followed by a descriptor has no end that can be found.
        if (descriptor && header.method == method_stored) return false;
        if (!writable(header.name)) return skip_data(header);
        if (header.name.back() == '/' || header.name.back() == '\\') {
            make_entry_folders(stream_.folder, local_entry_name(header.name.c_str()), false);
            return skip_data(header);
        }
        return write_file(header);
    }

private:
    bool read_header(local_header& header) {
        unsigned char fixed[local_header_size];
        if (!cursor_.read(fixed, sizeof fixed)) return false;
        header.flags = le16(fixed + 2);
        header.method = le16(fixed + 4);
        header.crc = le32(fixed + 10);
        header.compressed_size = le32(fixed + 14);
        header.size = le32(fixed + 18);
        size_t name_size = le16(fixed + 22), extra_size = le16(fixed + 24);
        header.name.resize(name_size);
        std::string extra(extra_size, '\0');
        if (!cursor_.read(reinterpret_cast<unsigned char*>(&header.name[0]), name_size) ||
            !cursor_.read(reinterpret_cast<unsigned char*>(&extra[0]), extra_size))
            return false;
        bool needs_zip64 = header.compressed_size == size_in_zip64_extra || header.size == size_in_zip64_extra;
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
        for (size_t at = 0; at + 4 <= extra_size;) {
            uint16_t tag = le16(p + at), size = le16(p + at + 2);
            if (at + 4 + size > extra_size) break;
            if (tag == zip64_extra_tag) {
                header.zip64 = true;
                if (needs_zip64 && size >= 16) {
                    header.size = le64(p + at + 4);
                    header.compressed_size = le64(p + at + 12);
                    needs_zip64 = false;
                }
            }
            at += 4 + size;
        }
        return !needs_zip64;
    }

    // Names the extraction would refuse, cut or read otherwise are left to it; so are the
    // names left alone, and any name that could be a short alias of one of them.
    bool writable(const std::string& name) const {
        if (name.empty() || name.size() > longest_name || name.find('\0') != std::string::npos ||
            name.find('~') != std::string::npos || entry_refusal_reason(name.c_str(), true))
            return false;
        for (const std::string& file : stream_.left_alone)
            if (names_top_level_file(name.c_str(), file.c_str())) return false;
        return true;
    }

    bool skip_data(const local_header& header) {
        return !(header.flags & flag_data_descriptor) && cursor_.skip(header.compressed_size);
    }

    bool write_file(local_header& header) {
        // A name given twice: which content the file ends with is the extraction's to say.
        std::string folded = folded_relative_name(header.name.c_str());
        if (!written_names_.insert(folded).second) {
            for (streamed_entry& entry : stream_.entries)
                if (folded_relative_name(entry.stored_name.c_str()) == folded) entry.usable = false;
            return false;
        }
        streamed_entry entry;
        entry.data_offset = cursor_.position();
        entry.stored_name = header.name;
        entry.name = local_entry_name(header.name.c_str());
        entry.method = header.method;
        int error = 0;
        output_file_ptr file = create_entry_file(stream_.folder, entry.name, error, false);
        if (!file) return !os_is_out_of_space(error) && skip_data(header);
        set_partial(entry.name);
        os_digest_stream_ptr digest(os_digest_stream_create(os_digest_kind::sha256));
        bool descriptor = (header.flags & flag_data_descriptor) != 0;
        entry_copy_result copied;
        uint64_t consumed = 0;
        bool whole = copy_data(header, descriptor, file.get(), digest.get(), copied, consumed);
        file.reset();
        // Where the data of a cut, unwritten or damaged entry ends is not known for sure: the
        // walk ends, and its file goes with it (zip_stream::walk).
        if (!whole || (descriptor && !read_descriptor(header)) || !first_write_of_its_file(entry.name)) return false;
        entry.crc = copied.crc;
        entry.size = copied.size;
        entry.compressed_size = consumed;
        if (digest) os_digest_stream_finish(digest.get(), entry.digest);
        entry.usable =
            consumed == header.compressed_size && copied.matches(header.size, header.crc) && !entry.digest.empty();
        if (!entry.usable) return false;
        try {
            stream_.entries.push_back(std::move(entry));
        } catch (const std::bad_alloc&) {
            return false;
        }
        set_partial({});
        return true;
    }

    // A name the file system takes for one written before (a case it folds that the rule above
    // does not) wrote over that entry's file, which therefore cannot be taken for it either.
    bool first_write_of_its_file(const std::string& name) {
        os_file_stamp stamp;
        if (!os_file_stamp_of(stream_.target_dir + static_cast<char>(os_path_separator) + name, stamp)) return false;
        auto [earlier, fresh] =
            written_files_.emplace(std::make_pair(stamp.device, stamp.file), stream_.entries.size());
        if (!fresh) stream_.entries[earlier->second].usable = false;
        return fresh;
    }

    void set_partial(const std::string& name) {
        std::lock_guard<std::mutex> lock(stream_.mutex);
        stream_.partial = name;
    }

    // True when the data was read whole and written (cut, damaged or unwritten data: false).
    bool copy_data(const local_header& header, bool descriptor, os_output_file* file, os_digest_stream* digest,
                   entry_copy_result& copied, uint64_t& consumed) {
        // A descriptor's 32-bit sizes bound what its entry may hold; only zip64 ones do not.
        uint64_t declared = !descriptor ? header.size : header.zip64 ? unknown_size : UINT32_MAX;
        entry_sink sink(file, digest, declared, copied);
        if (descriptor || header.size >= pipelined_entry_size) sink.start_writer();
        bool whole = header.method == method_stored
                         ? copy_stored(sink, header.compressed_size, consumed)
                         : inflate(sink, copied, descriptor ? unknown_size : header.compressed_size, consumed);
        sink.finish();
        return whole && copied.failure != copy_failure::write;
    }

    bool copy_stored(entry_sink& sink, uint64_t size, uint64_t& consumed) {
        while (consumed < size) {
            const unsigned char* data = nullptr;
            size_t n = 0;
            if (!cursor_.chunk(data, n)) return false;
            n = static_cast<size_t>(std::min<uint64_t>(n, size - consumed));
            if (!sink.put(data, n)) return false;
            cursor_.consume(n);
            consumed += n;
        }
        return true;
    }

    // Inflates the data, `limit` bytes of it (unknown_size: up to the stream's end). The
    // position is left right after the stream's last byte.
    bool inflate(entry_sink& sink, const entry_copy_result& copied, uint64_t limit, uint64_t& consumed) {
        inflater_.reset();
        int turn = 0;
        for (;;) {
            const unsigned char* data = nullptr;
            size_t given = 0;   // stays 0 once all `limit` bytes are given: what is held comes out
            if (consumed < limit) {
                if (!cursor_.chunk(data, given)) return false;
                given = static_cast<size_t>(std::min<uint64_t>(given, limit - consumed));
            }
            inflater_.give(data, given);
            for (;;) {
                size_t written = 0;
                inflate_step step = inflater_.run(output_[turn].get(), entry_block_size, &written);
                if (!sink.put(output_[turn].get(), written)) return false;
                if (sink.pipelined()) turn ^= 1;   // the writer holds the other buffer
                if (step == inflate_step::end || step == inflate_step::failed || copied.overrun) {
                    bool ended = step == inflate_step::end && !copied.overrun && inflater_.input_left() <= given;
                    size_t used = ended ? given - inflater_.input_left() : 0;
                    cursor_.consume(used);
                    consumed += used;
                    return ended;
                }
                if (step == inflate_step::stalled && inflater_.input_left() > 0) return false;
                if (step == inflate_step::stalled || (given > 0 && inflater_.input_left() == 0)) break;
            }
            cursor_.consume(given);
            consumed += given;
            if (given == 0) return false;   // the data ended before the stream
        }
    }

    bool read_descriptor(local_header& header) {
        unsigned char first[4];
        if (!cursor_.read(first, sizeof first)) return false;
        unsigned char rest[20];
        size_t sizes = header.zip64 ? 16 : 8;
        if (le32(first) == descriptor_signature) {
            if (!cursor_.read(rest, 4 + sizes)) return false;
        } else {
            std::memcpy(rest, first, 4);
            if (!cursor_.read(rest + 4, sizes)) return false;
        }
        header.crc = le32(rest);
        header.compressed_size = header.zip64 ? le64(rest + 4) : le32(rest + 4);
        header.size = header.zip64 ? le64(rest + 12) : le32(rest + 8);
        return true;
    }

    zip_stream& stream_;
    archive_cursor cursor_;
    raw_inflater inflater_;
    std::unique_ptr<unsigned char[]> output_[2];   // used in turn when a helper thread writes
    std::set<std::string> written_names_;
    std::map<std::pair<uint64_t, uint64_t>, size_t> written_files_;   // device and file -> entry
};
}   // namespace

void zip_stream::walk() {
    {
        walker steps(*this);
        try {
            if (steps.ready())
                while (steps.next_entry()) {}
        } catch (const std::bad_alloc&) {   // the names kept to find repeats: the walk ends
        }
    }   // the buffers go before the extraction allocates its own
    std::lock_guard<std::mutex> lock(mutex);
    // A file the walk ended in is not whole: it goes before the extraction may write its name.
    if (!partial.empty()) os_output_remove_file(folder, partial.c_str());
    partial.clear();
    walking = false;
    changed.notify_all();
}

zip_stream* zip_stream_start(const char* archive_path, const char* target_dir,
                             const std::vector<std::string>& left_alone) {
    if (!archive_path || !target_dir) return nullptr;
    std::unique_ptr<zip_stream> stream(new (std::nothrow) zip_stream);
    if (!stream) return nullptr;
    std::string path = archive_path;
    size_t cut = path.find_last_of("/\\");
    try {
        stream->left_alone = left_alone;
        stream->target_dir = target_dir;
        stream->left_alone.push_back(cut == std::string::npos ? path : path.substr(cut + 1));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    stream->archive = os_growing_archive_open(archive_path);
    stream->folder = os_output_folder_open_at(target_dir);
    if (!stream->archive || !stream->folder) return nullptr;
    stream->walking = true;
    try {
        zip_stream* walked = stream.get();
        stream->thread = std::thread([walked] { walked->walk(); });
    } catch (const std::system_error&) {
        return nullptr;
    }
    return stream.release();
}

void zip_stream_advance(zip_stream* stream, uint64_t length) {
    if (!stream) return;
    {
        std::lock_guard<std::mutex> lock(stream->mutex);
        if (stream->complete || length <= stream->available) return;
        stream->available = length;
    }
    stream->changed.notify_all();
}

void zip_stream_complete(zip_stream* stream, uint64_t length) {
    if (!stream) return;
    {
        std::lock_guard<std::mutex> lock(stream->mutex);
        stream->available = length;
        stream->complete = true;
    }
    stream->changed.notify_all();
}

void zip_stream_finish(zip_stream* stream) {
    if (!stream) return;
    std::unique_lock<std::mutex> lock(stream->mutex);
    stream->changed.wait(lock, [stream] { return !stream->walking || stream->stopping; });
}

const std::vector<streamed_entry>& zip_stream_entries(const zip_stream* stream) { return stream->entries; }

void zip_stream_release(zip_stream* stream) {
    if (!stream) return;
    stream->stop();
    delete stream;
}

void zip_stream_discard(zip_stream* stream) {
    if (!stream) return;
    stream->stop();
    for (const streamed_entry& entry : stream->entries) os_output_remove_file(stream->folder, entry.name.c_str());
    zip_stream_release(stream);
}
