// A discovery reply as it might arrive: accepted exactly when every rule of the search holds,
// and an accepted reply rebuilt from its identifier and payload is the same datagram.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/require.h"
#include "link/crc32.h"
#include "link/frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::vector<uint8_t> frame(data, data + size);
    uint32_t id = 0x12345678u;
    uint8_t status = 0x5A;
    const bool accepted = ParseDiscoveryReply(frame, id, status);
    const bool rules = size == 28 && std::memcmp(frame.data(), "MMDO", 4) == 0 &&
                       Crc32(frame.data(), 24) == GetU32(frame.data() + 24) &&
                       GetU32(frame.data() + 4) != 0xFFFFFFFFu && (GetU32(frame.data() + 4) >> 28) == 3;
    REQUIRE(accepted == rules);
    if (!accepted) return 0;
    REQUIRE(id == GetU32(frame.data() + 4) && status == frame[10]);
    const std::vector<uint8_t> payload(frame.begin() + 8, frame.begin() + 24);
    REQUIRE(BuildUnsigned('O', id, payload) == frame);
    return 0;
}
