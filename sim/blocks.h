#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Builders of the blocks a controller keeps, for the simulator, its sample set and the tests.

// Identifier with bits 28-31 = 3, the given type code, serial number and suffix letter (0-3 = A-D).
uint32_t MakeId(uint32_t typeCode, uint32_t serial, uint32_t suffix = 0);

// An identifier whose upper 16 bits are all ones marks an absent device: its slot stays in the
// list so that the indices of the devices after it do not move.
constexpr uint32_t kAbsentId = 0xFFFFFFFFu;
constexpr uint16_t kNoResource = 0xFFFF;

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

constexpr std::size_t kListHeader = 6;
constexpr std::size_t kListRecord = 12;

// Header (count, kind << 4 | doorCount, 3 spare bytes) followed by the records.
std::vector<uint8_t> DeviceListBlock(uint8_t kind, uint8_t doorCount, const std::vector<DevSpec>& devices);

// Door and lift blocks: a 4-byte signature, 4 spare bytes, then the 104-byte record: 20 resource
// slots (door: 6 outputs, 10 inputs, 4 readers; lift: 8 output sets, 8 inputs, 4 readers) and the
// 64-byte parameter area, whose last 16 bytes hold the name.
constexpr std::size_t kBlockHeader = 8;
constexpr std::size_t kRecordLength = 104;
constexpr std::size_t kBlockLength = kBlockHeader + kRecordLength;   // 112
constexpr int kResourceSlots = 20;
constexpr std::size_t kParamOffset = kBlockHeader + 40;              // parameter area in a block
constexpr std::size_t kNameOffset = kParamOffset + 48;               // name in a block

// A door block (1, 6, 10, 4, 4 spare bytes, 104-byte record) with every slot 0xFFFF and a zero
// parameter area, and the same for the lift (2, 0x88, 8, 4).
std::vector<uint8_t> EmptyDoorBlock();
std::vector<uint8_t> EmptyLiftBlock();
// The 8-byte header of a block of the given controller kind (1 doors, 2 lift).
std::vector<uint8_t> BlockHeader(uint8_t kind);

// Resource slot 0-19 of a door or lift block (door: outputs 0-5, inputs 6-15, readers 16-19;
// lift: output sets 0-7, inputs 8-15, readers 16-19).
void SetBlockSlot(std::vector<uint8_t>& block, int slot, uint16_t resId);
uint16_t BlockSlot(const std::vector<uint8_t>& block, int slot);
// The name field: at most 15 bytes of cp1250 text, then zeros.
void SetBlockName(std::vector<uint8_t>& block, std::string_view cp1250);
