#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Frame layout of the controller protocol, apart from any socket, so that it can be tested from
// bytes and fuzzed. Numbers are little-endian.
//   unsigned: "MMD" letter | id u32 | payload | CRC-32 of everything before it     (>= 12 bytes)
//   signed:   "MMDC" | id u32 | counter u16 | letter | payload | 8-byte code         (>= 19 bytes)
// The code of a signed frame is the first 8 bytes of the AES-CMAC of everything before it.

class AES128;
class CMAC;

constexpr std::size_t kUnsignedOverhead = 12;
constexpr std::size_t kSignedOverhead = 19;
constexpr std::size_t kMaxPayload = 1400;      // most payload a controller sends or takes
constexpr std::size_t kMaxWriteBlock = 1398;   // c: kind, index, then the block
constexpr std::size_t kCodeLength = 8;
constexpr std::size_t kStatusReplyLength = 28; // search and status replies
constexpr uint32_t kAllDevices = 0xFFFFFFFFu;
constexpr std::size_t kKeyMaterial = 16;       // payload of the K reply

inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutU16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Builds an unsigned frame: tag "MMD" + letter, id, payload, CRC.
std::vector<uint8_t> BuildUnsigned(char letter, uint32_t id, std::span<const uint8_t> payload);
// True when the frame is at least 12 bytes and its last four bytes hold the CRC of the rest.
bool CheckUnsigned(std::span<const uint8_t> frame);

// Computes the 8-byte code over data with a CMAC whose coder is already keyed.
std::array<uint8_t, kCodeLength> FrameCode(CMAC& cmac, std::span<const uint8_t> data);
// Builds a signed frame with the given counter and letter (letter | 0x80 for a reply); the CMAC's
// coder must be keyed with the session key.
std::vector<uint8_t> BuildSigned(CMAC& cmac, uint32_t id, uint16_t counter, uint8_t letter,
                                 std::span<const uint8_t> payload);
// True when the frame is at least 19 bytes and its code is right. The code is compared in
// constant time.
bool CheckSignedCode(CMAC& cmac, std::span<const uint8_t> frame);

// The controller answers K with 16 bytes of key material; the session key is the AES-128
// encryption of those bytes under themselves. Turns the material in `key` into the session key in
// place, with `aes` as the coder (left keyed with the material).
void MakeSessionKey(AES128& aes, std::array<uint8_t, kKeyMaterial>& key);

// A discovery reply that the search accepts: exactly 28 bytes, tag "MMDO", a good CRC, an id other
// than 0xFFFFFFFF whose bits 28-31 are 3. On success id and status (byte 10) are returned.
bool ParseDiscoveryReply(std::span<const uint8_t> frame, uint32_t& id, uint8_t& status);

// Equal in constant time (no early exit on the first difference).
bool ConstantTimeEqual(const uint8_t* a, const uint8_t* b, std::size_t length);
