#include "sim/blocks.h"

#include <algorithm>
#include <stdexcept>

#include "link/frame.h"

uint32_t MakeId(uint32_t typeCode, uint32_t serial, uint32_t suffix)
{
    return (3u << 28) | ((suffix & 3u) << 26) | ((typeCode & 0x3FFu) << 16) | (serial & 0xFFFFu);
}

std::vector<uint8_t> DeviceListBlock(uint8_t kind, uint8_t doorCount, const std::vector<DevSpec>& devices)
{
    std::vector<uint8_t> block(kListHeader + kListRecord * devices.size());
    PutU16(block.data(), static_cast<uint16_t>(devices.size()));
    block[2] = static_cast<uint8_t>((kind << 4) | (doorCount & 0x0F));
    uint8_t* r = block.data() + kListHeader;
    for (const DevSpec& d : devices) {
        PutU32(r, d.id);
        r[4] = d.info;
        r[5] = d.status;
        r[6] = d.outDesc;
        r[7] = d.ocCount;
        r[8] = d.inCount;
        r[9] = d.rdCount;
        r += kListRecord;
    }
    return block;
}

std::vector<uint8_t> BlockHeader(uint8_t kind)
{
    if (kind == 2) return {2, 0x88, 8, 4, 0, 0, 0, 0};
    return {1, 6, 10, 4, 0, 0, 0, 0};
}

namespace {
std::vector<uint8_t> EmptyBlock(uint8_t kind)
{
    std::vector<uint8_t> block = BlockHeader(kind);
    block.resize(kBlockLength, 0);
    std::fill(block.begin() + kBlockHeader, block.begin() + kParamOffset, uint8_t{0xFF});
    return block;
}

void CheckSlot(const std::vector<uint8_t>& block, int slot)
{
    if (slot < 0 || slot >= kResourceSlots || block.size() < kParamOffset)
        throw std::out_of_range("resource slot outside the block");
}
} // namespace

std::vector<uint8_t> EmptyDoorBlock() { return EmptyBlock(1); }
std::vector<uint8_t> EmptyLiftBlock() { return EmptyBlock(2); }

void SetBlockSlot(std::vector<uint8_t>& block, int slot, uint16_t resId)
{
    CheckSlot(block, slot);
    PutU16(&block[kBlockHeader + 2 * static_cast<std::size_t>(slot)], resId);
}

uint16_t BlockSlot(const std::vector<uint8_t>& block, int slot)
{
    CheckSlot(block, slot);
    return GetU16(&block[kBlockHeader + 2 * static_cast<std::size_t>(slot)]);
}

void SetBlockName(std::vector<uint8_t>& block, std::string_view cp1250)
{
    if (block.size() < kBlockLength) throw std::out_of_range("block too short for a name");
    const std::size_t n = std::min<std::size_t>(cp1250.size(), 15);
    std::fill(block.begin() + kNameOffset, block.begin() + kBlockLength, uint8_t{0});
    std::copy_n(cp1250.begin(), n, block.begin() + kNameOffset);
}
