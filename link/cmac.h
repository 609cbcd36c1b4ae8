#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

class Coder;

// AES-CMAC (NIST SP 800-38B, RFC 4493) over any Coder of 8- or 16-byte blocks. The coder is keyed
// by the caller; the engine only chains blocks through it. No allocation.
class CMAC {
public:
    explicit CMAC(Coder& coder) : coder_(coder) {}

    void Init();
    void Update(const uint8_t* data, std::size_t length);
    // Writes the full tag (one block) to dest. Signed frames carry its first 8 bytes.
    void Final(uint8_t* dest);

private:
    Coder& coder_;
    std::size_t held_ = 0;
    std::array<uint8_t, 16> buffer_{};
    std::array<uint8_t, 16> chain_{};
};
