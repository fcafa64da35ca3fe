// Fuzz target for the datagram reader: any bytes must be read or refused cleanly, and whatever
// is read must survive encode -> decode -> encode unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "clients/udp/qz_udp_message.h"
#include "utils/qz_status.h"

namespace {

struct encoded {
    uint8_t* bytes = nullptr;
    size_t length = 0;
    ~encoded() { qz_udp_message_free_bytes(bytes); }
};

void require(bool condition) {
    if (!condition) __builtin_trap();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qz_udp_message* message = nullptr;
    if (qz_udp_message_from_datagram(data, size, &message) != QZ_OK) {
        require(message == nullptr);
        return 0;
    }
    encoded first;
    require(qz_udp_message_encode(message, &first.bytes, &first.length) == QZ_OK);
    if (qz_udp_message_get_kind(message) == QZ_UDP_MESSAGE_COMPAT) {
        require(first.length == size && std::memcmp(first.bytes, data, size) == 0);
    } else {
        qz_udp_message* again = nullptr;
        require(qz_udp_message_decode(first.bytes, first.length, &again) == QZ_OK);
        encoded second;
        require(qz_udp_message_encode(again, &second.bytes, &second.length) == QZ_OK);
        require(second.length == first.length && std::memcmp(second.bytes, first.bytes, first.length) == 0);
        qz_udp_message_release(again);
    }
    qz_udp_message_release(message);
    return 0;
}
