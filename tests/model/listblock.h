#pragma once
#include <cstdint>
#include <vector>

// Device list blocks for the model's tests, written byte by byte from the block layout: a u16
// record count, the kind and door-count byte, 3 spare bytes, then 12 bytes per record.

inline uint32_t Id(uint32_t typeCode, uint32_t serial, uint32_t suffix = 0)
{
    return (3u << 28) | (suffix << 26) | (typeCode << 16) | serial;
}

struct Rec {
    uint32_t id = 0;
    uint8_t info = 1;
    uint8_t status = 0;
    uint8_t outDesc = 0;   // bit 7: output sets in bits 0-1; else relay outputs
    uint8_t oc = 0;        // open-collector outputs
    uint8_t in = 0;
    uint8_t rd = 0;
};

// count < 0 writes the number of records given.
inline std::vector<uint8_t> ListBlock(uint8_t header, const std::vector<Rec>& recs, int count = -1)
{
    const auto n = static_cast<uint16_t>(count < 0 ? static_cast<int>(recs.size()) : count);
    std::vector<uint8_t> b = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), header, 0xA1, 0xA2, 0xA3};
    for (const Rec& r : recs) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(r.id >> (8 * i)));
        b.insert(b.end(), {r.info, r.status, r.outDesc, r.oc, r.in, r.rd, 0x5A, 0xA5});
    }
    return b;
}

// Type codes of the categories used in the tests.
constexpr uint32_t kReaderType = 7;       // category 0, "R"
constexpr uint32_t kControllerType = 305; // category 3, "K"
constexpr uint32_t kKeypadType = 507;     // category 5, "K"
constexpr uint32_t kModuleType = 702;     // category 7, "D"
