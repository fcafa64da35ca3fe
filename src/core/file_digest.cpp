#include "core/file_digest.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "os/files.h"
#include "os/text.h"

namespace {
// One per file of a package is plenty; beyond this the oldest are read again, as without them.
constexpr size_t remembered_capacity = 8192;

struct remembered_digest {
    os_file_stamp stamp;
    os_digest_kind kind;
    std::string hex;
    uint64_t order;
};

// Keyed by device and file number: the same file under any path name.
struct digest_memory {
    std::mutex mutex;
    std::map<std::pair<uint64_t, uint64_t>, remembered_digest> digests;
    uint64_t next_order = 0;
};

digest_memory& memory() {
    static digest_memory instance;
    return instance;
}

std::atomic<uint64_t> whole_file_reads{0};

void drop_oldest(digest_memory& m) {
    auto oldest = m.digests.begin();
    for (auto it = m.digests.begin(); it != m.digests.end(); ++it)
        if (it->second.order < oldest->second.order) oldest = it;
    if (oldest != m.digests.end()) m.digests.erase(oldest);
}

// The remembered digest of the file as it is now, if there is one of that kind.
bool recall_digest(const std::string& path, os_digest_kind kind, std::string& hex) {
    os_file_stamp stamp;
    if (!os_file_stamp_of(path, stamp)) return false;
    digest_memory& m = memory();
    std::lock_guard<std::mutex> lock(m.mutex);
    auto found = m.digests.find({stamp.device, stamp.file});
    if (found == m.digests.end() || found->second.kind != kind) return false;
    if (!(found->second.stamp == stamp)) {
        m.digests.erase(found);   // changed since it was hashed: only a fresh read can tell
        return false;
    }
    hex = found->second.hex;
    return true;
}

bool file_digest_hex(const wchar_t* path, os_digest_kind kind, std::string& hex) {
    std::string narrow;
    if (!path || !os_to_narrow(std::wstring(path), narrow)) return false;
    if (recall_digest(narrow, kind, hex)) return true;
    whole_file_reads.fetch_add(1);
    return os_file_digest(narrow, kind, hex);
}

bool equal_ignoring_case(const std::string& a, const char* b) {
    if (std::strlen(b) != a.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}
}   // namespace

int verify_file_digest(const wchar_t* path, const char* expected_digest) {
    if (!path || !expected_digest) return 0;
    size_t length = std::strlen(expected_digest);
    if (length != 40 && length != 64) return 0;
    std::string actual;
    if (!file_digest_hex(path, length == 40 ? os_digest_kind::sha1 : os_digest_kind::sha256, actual)) return 0;
    return equal_ignoring_case(actual, expected_digest) ? 1 : 0;
}

int files_have_same_sha256(const wchar_t* first, const wchar_t* second) {
    std::string a, b;
    if (!file_digest_hex(first, os_digest_kind::sha256, a) || !file_digest_hex(second, os_digest_kind::sha256, b))
        return 0;
    return equal_ignoring_case(a, b.c_str()) ? 1 : 0;
}

bool remember_file_digest(const std::string& path, os_digest_kind kind, const std::string& hex) {
    os_file_stamp stamp;
    if (!os_file_stamp_of(path, stamp)) return false;
    digest_memory& m = memory();
    std::lock_guard<std::mutex> lock(m.mutex);
    try {
        if (m.digests.size() >= remembered_capacity) drop_oldest(m);
        m.digests[{stamp.device, stamp.file}] = remembered_digest{stamp, kind, hex, m.next_order++};
    } catch (const std::bad_alloc&) {
        return false;   // the file is read when it is checked, as without a digest
    }
    return true;
}

void forget_file_digests() {
    digest_memory& m = memory();
    std::lock_guard<std::mutex> lock(m.mutex);
    m.digests.clear();
}

uint64_t file_digest_reads() { return whole_file_reads.load(); }
