// A signed reply as it might arrive: the code check under a session key, a frame rebuilt from
// an accepted one is the same frame; a frame signed here passes, and fails once one bit flips
// or once it is checked under another key.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "fuzz/require.h"
#include "link/aes.h"
#include "link/cmac.h"
#include "link/frame.h"

namespace {

struct Keyed {
    explicit Keyed(uint8_t seed)
    {
        std::array<uint8_t, 16> key{};
        for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(seed + 17 * i);
        aes.SetKey(key.data());
    }
    AES128 aes;
    CMAC cmac{aes};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    static Keyed session(0x2B);
    static Keyed other(0x7E);
    const std::vector<uint8_t> frame(data, data + size);
    if (CheckSignedCode(session.cmac, frame)) {
        REQUIRE(size >= 19);
        const std::vector<uint8_t> payload(frame.begin() + 11, frame.end() - 8);
        const std::vector<uint8_t> rebuilt =
            BuildSigned(session.cmac, GetU32(frame.data() + 4), GetU16(frame.data() + 8), frame[10], payload);
        REQUIRE(rebuilt.size() == size);
        if (std::memcmp(frame.data(), "MMDC", 4) == 0) REQUIRE(rebuilt == frame);
    }

    // The input's first byte picks a bit to flip; then id, counter, letter and payload.
    if (size < 8) return 0;
    const std::vector<uint8_t> payload(frame.begin() + 8, frame.end());
    std::vector<uint8_t> built =
        BuildSigned(session.cmac, GetU32(frame.data() + 1), GetU16(frame.data() + 5), frame[7], payload);
    REQUIRE(built.size() == 19 + payload.size());
    REQUIRE(std::memcmp(built.data(), "MMDC", 4) == 0 && built[10] == frame[7]);
    REQUIRE(CheckSignedCode(session.cmac, built));
    REQUIRE(!CheckSignedCode(other.cmac, built));
    const std::size_t bit = (static_cast<std::size_t>(frame[0]) * 257u) % (built.size() * 8);
    built[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    REQUIRE(!CheckSignedCode(session.cmac, built));
    // Cut short, the frame is rejected without reading past it.
    const std::vector<uint8_t> cut(built.begin(), built.begin() + static_cast<std::ptrdiff_t>(frame[0] % 19));
    REQUIRE(!CheckSignedCode(session.cmac, cut));
    return 0;
}
