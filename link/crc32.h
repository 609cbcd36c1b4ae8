#pragma once
#include <cstddef>
#include <cstdint>

// CRC-32/MPEG-2: polynomial 0x04C11DB7, most significant bit first, no reflection, no final XOR.
// The link always starts from 0xFFFFFFFF; the check value of "123456789" is 0x0376E6E7.
uint32_t Crc32(const uint8_t* data, std::size_t length, uint32_t initial = 0xFFFFFFFFu);
