#include "link/frame.h"

#include <cstring>

#include "link/aes.h"
#include "link/cmac.h"
#include "link/crc32.h"

std::vector<uint8_t> BuildUnsigned(char letter, uint32_t id, std::span<const uint8_t> payload)
{
    std::vector<uint8_t> f(payload.size() + kUnsignedOverhead);
    f[0] = 'M';
    f[1] = 'M';
    f[2] = 'D';
    f[3] = static_cast<uint8_t>(letter);
    PutU32(&f[4], id);
    if (!payload.empty()) std::memcpy(&f[8], payload.data(), payload.size());
    PutU32(&f[f.size() - 4], Crc32(f.data(), f.size() - 4));
    return f;
}

bool CheckUnsigned(std::span<const uint8_t> frame)
{
    if (frame.size() < kUnsignedOverhead) return false;
    const std::size_t n = frame.size();
    return Crc32(frame.data(), n - 4) == GetU32(&frame[n - 4]);
}

std::array<uint8_t, kCodeLength> FrameCode(CMAC& cmac, std::span<const uint8_t> data)
{
    std::array<uint8_t, 16> tag{};
    cmac.Init();
    cmac.Update(data.data(), data.size());
    cmac.Final(tag.data());
    std::array<uint8_t, kCodeLength> code{};
    std::memcpy(code.data(), tag.data(), kCodeLength);   // the most significant 64 bits
    return code;
}

std::vector<uint8_t> BuildSigned(CMAC& cmac, uint32_t id, uint16_t counter, uint8_t letter,
                                 std::span<const uint8_t> payload)
{
    std::vector<uint8_t> f(payload.size() + kSignedOverhead);
    std::memcpy(f.data(), "MMDC", 4);
    PutU32(&f[4], id);
    PutU16(&f[8], counter);
    f[10] = letter;
    if (!payload.empty()) std::memcpy(&f[11], payload.data(), payload.size());
    const std::size_t body = f.size() - kCodeLength;
    const auto code = FrameCode(cmac, std::span<const uint8_t>(f.data(), body));
    std::memcpy(&f[body], code.data(), kCodeLength);
    return f;
}

bool CheckSignedCode(CMAC& cmac, std::span<const uint8_t> frame)
{
    if (frame.size() < kSignedOverhead) return false;
    const std::size_t body = frame.size() - kCodeLength;
    const auto code = FrameCode(cmac, frame.first(body));
    return ConstantTimeEqual(code.data(), &frame[body], kCodeLength);
}

bool ParseDiscoveryReply(std::span<const uint8_t> frame, uint32_t& id, uint8_t& status)
{
    if (frame.size() != kStatusReplyLength) return false;
    if (std::memcmp(frame.data(), "MMDO", 4) != 0) return false;
    if (Crc32(frame.data(), 24) != GetU32(&frame[24])) return false;
    const uint32_t candidate = GetU32(&frame[4]);
    if (candidate == kAllDevices || (candidate >> 28) != 3) return false;
    id = candidate;
    status = frame[10];
    return true;
}

bool ConstantTimeEqual(const uint8_t* a, const uint8_t* b, std::size_t length)
{
    uint8_t diff = 0;
    for (std::size_t i = 0; i < length; ++i) diff = static_cast<uint8_t>(diff | (a[i] ^ b[i]));
    return diff == 0;
}

void MakeSessionKey(AES128& aes, std::array<uint8_t, kKeyMaterial>& key)
{
    aes.SetKey(key.data());   // key = material
    aes.Encrypt(key.data());  // session key = AES(material, material)
}
