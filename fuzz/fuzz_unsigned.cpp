// An unsigned reply as it might arrive: the CRC check, and a frame rebuilt from an accepted one
// is the same frame; any frame built from the input's fields passes, and loses its pass when
// one bit of it flips.
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
    const bool accepted = CheckUnsigned(frame);
    REQUIRE(accepted == (size >= 12 && Crc32(frame.data(), size - 4) == GetU32(frame.data() + size - 4)));
    if (accepted) {
        const std::vector<uint8_t> payload(frame.begin() + 8, frame.end() - 4);
        const std::vector<uint8_t> rebuilt = BuildUnsigned(static_cast<char>(frame[3]), GetU32(frame.data() + 4), payload);
        REQUIRE(rebuilt.size() == size);
        if (std::memcmp(frame.data(), "MMD", 3) == 0) REQUIRE(rebuilt == frame);
    }

    // The input's first byte picks a bit to flip; the rest is the letter, id and payload.
    if (size < 6) return 0;
    const std::vector<uint8_t> payload(frame.begin() + 6, frame.end());
    std::vector<uint8_t> built = BuildUnsigned(static_cast<char>(frame[1]), GetU32(frame.data() + 2), payload);
    REQUIRE(built.size() == 12 + payload.size());
    REQUIRE(std::memcmp(built.data(), "MMD", 3) == 0 && built[3] == frame[1]);
    REQUIRE(CheckUnsigned(built));
    const std::size_t bit = (static_cast<std::size_t>(frame[0]) * 131u) % (built.size() * 8);
    built[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    REQUIRE(!CheckUnsigned(built));
    return 0;
}
