#pragma once
#include <cstdint>
#include <vector>

// Builders of the blocks a controller keeps, for the simulator, its sample set and the tests.

// Identifier with bits 28-31 = 3, the given type code, serial number and suffix letter (0-3 = A-D).
uint32_t MakeId(uint32_t typeCode, uint32_t serial, uint32_t suffix = 0);

// One device record of the device list block (12 bytes).
struct DevSpec {
    uint32_t id = 0;
    uint8_t info = 1;
    uint8_t status = 0;
    uint8_t outDesc = 0;   // bit 7: output sets in bits 0-1; else relay outputs in bits 0-4
    uint8_t ocCount = 0;   // open-collector outputs (0: none)
    uint8_t inCount = 0;
    uint8_t rdCount = 0;
};

// Header (count, kind << 4 | doorCount, 3 spare bytes) followed by the records.
std::vector<uint8_t> DeviceListBlock(uint8_t kind, uint8_t doorCount, const std::vector<DevSpec>& devices);

// A door block (1, 6, 10, 4, 4 spare bytes, 104-byte record) with every slot 0xFFFF and a zero
// parameter area, and the same for the lift (2, 0x88, 8, 4).
std::vector<uint8_t> EmptyDoorBlock();
std::vector<uint8_t> EmptyLiftBlock();
