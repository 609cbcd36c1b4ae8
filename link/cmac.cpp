#include "link/cmac.h"

#include <cstring>

#include "link/aes.h"

namespace {

// dst = src shifted left by one bit across the block (most significant bit of byte 0 first), with
// Rb XORed into the last byte when the bit shifted out was set.
void Subkey(const uint8_t* src, uint8_t* dst, std::size_t b, uint8_t rb)
{
    const bool carry = (src[0] & 0x80) != 0;
    for (std::size_t i = 0; i < b; ++i) {
        const uint8_t next = (i + 1 < b) ? static_cast<uint8_t>(src[i + 1] >> 7) : 0;
        dst[i] = static_cast<uint8_t>((src[i] << 1) | next);
    }
    if (carry) dst[b - 1] ^= rb;
}

} // namespace

void CMAC::Init()
{
    chain_.fill(0);
    buffer_.fill(0);
    held_ = 0;
}

void CMAC::Update(const uint8_t* data, std::size_t length)
{
    const auto b = static_cast<std::size_t>(coder_.blockSize);
    // Complete a partly held block only when more data follows it: the last block of the message
    // is always kept back for Final.
    if (held_ > 0 && length > b - held_) {
        const std::size_t fill = b - held_;
        std::memcpy(buffer_.data() + held_, data, fill);
        data += fill;
        length -= fill;
        for (std::size_t i = 0; i < b; ++i) chain_[i] ^= buffer_[i];
        coder_.Encrypt(chain_.data());
        held_ = 0;
    }
    while (length > b) {
        for (std::size_t i = 0; i < b; ++i) chain_[i] ^= data[i];
        coder_.Encrypt(chain_.data());
        data += b;
        length -= b;
    }
    std::memcpy(buffer_.data() + held_, data, length);
    held_ += length;
}

void CMAC::Final(uint8_t* dest)
{
    const auto b = static_cast<std::size_t>(coder_.blockSize);
    const uint8_t rb = b == 16 ? 0x87 : 0x1B;
    std::array<uint8_t, 16> l{};
    coder_.Encrypt(l.data());                       // L = E(0)
    std::array<uint8_t, 16> k1{};
    Subkey(l.data(), k1.data(), b, rb);             // K1 = L << 1 (^ Rb)
    std::array<uint8_t, 16> last{};
    if (held_ == b) {
        for (std::size_t i = 0; i < b; ++i) last[i] = static_cast<uint8_t>(buffer_[i] ^ k1[i]);
    } else {
        std::array<uint8_t, 16> k2{};
        Subkey(k1.data(), k2.data(), b, rb);        // K2 = K1 << 1 (^ Rb)
        std::memcpy(last.data(), buffer_.data(), held_);
        last[held_] = 0x80;                         // padding 10...0
        for (std::size_t i = 0; i < b; ++i) last[i] ^= k2[i];
    }
    for (std::size_t i = 0; i < b; ++i) chain_[i] ^= last[i];
    coder_.Encrypt(chain_.data());
    std::memcpy(dest, chain_.data(), b);
}
