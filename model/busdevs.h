#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "link/devid.h"

struct UdpDev;

// ---------------------------------------------------------------------------------------------
// Resource identifiers: device index << 8 | NC flag (bit 7) | resource number (bits 0-4).
// 0xFFFF means nothing is assigned. Only identifiers below 0x6C00 (device index < 108) touch a map
// or name a device record; a larger index (only a controller with inconsistent data sends one) is
// stored and sent unchanged, shown as an unknown device and never taken for open-collector.

using ResId = uint16_t;
constexpr ResId kNoRes = 0xFFFF;
constexpr ResId kNcFlag = 0x80;
constexpr int kMaxDevices = 108;
constexpr int kMaxList = 2560;   // most entries in a free list or a pair list
constexpr int kMaxDoors = 8;     // door records of a door controller

enum class ResKind : uint8_t { Output = 0, Input = 1, Reader = 2, OutputSet = 3 };

inline int ResDevice(ResId r) { return r >> 8; }
inline int ResNumber(ResId r) { return r & 0x1F; }
inline bool ResHasNc(ResId r) { return r != kNoRes && (r & kNcFlag) != 0; }
inline ResId MakeRes(int device, int number) { return static_cast<ResId>((device << 8) | (number & 0x1F)); }
// The identifier with its NC flag set or cleared; 0xFFFF stays 0xFFFF.
inline ResId WithNc(ResId r, bool nc)
{
    if (r == kNoRes) return r;
    return static_cast<ResId>(nc ? (r | kNcFlag) : (r & ~kNcFlag));
}

// Status flags of a bus device.
constexpr uint8_t kStatusInactive = 0x80;
constexpr uint8_t kStatusPower = 0x40;
constexpr uint8_t kStatusTamper = 0x20;
constexpr uint8_t kStatusNew = 0x10;

// An identifier whose upper 16 bits are all ones keeps its slot but names no device.
inline bool IsAbsentId(uint32_t id) { return (id >> 16) == 0xFFFFu; }

// ---------------------------------------------------------------------------------------------
// Bus device inventory.

struct BusDev {
    uint32_t id = 0;
    uint8_t status = 0;     // bit 7 inactive, 6 power fault, 5 tamper, 4 new
    uint8_t info = 0;
    uint16_t outCount = 0;
    uint16_t inCount = 0;
    uint16_t rdCount = 0;
    uint16_t setCount = 0;
    uint32_t usedOut = 0;
    uint32_t usedIn = 0;
    uint16_t usedRd = 0;
    uint16_t usedSet = 0;
    bool hasOc = false;

    bool operator==(const BusDev&) const = default;
};

// How many resources of the kind the device has: outputs, inputs, reader ports or output sets.
int ResourceCount(const BusDev& dev, ResKind kind);

// Fixed-capacity list of identifiers (free resources) or replacement pairs.
struct ResList {
    std::array<uint16_t, kMaxList> items{};
    int count = 0;
    uint16_t operator[](int i) const { return items[static_cast<std::size_t>(i)]; }
};

// The device list block: a 6-byte header (u16 record count; kind << 4 | door count; 3 spare
// bytes), then 12 bytes per record.
constexpr std::size_t kDevListHeader = 6;
constexpr std::size_t kDevRecordSize = 12;

class BusDevSet {
public:
    // Forgets the list (recordCount, presentCount, doorCount 0); kind keeps its value.
    void Clear();
    // Decodes a device list block; false when rejected: more than 108 records, a block too short
    // for its records, or a kind and door count other than 1 with 1-8 or 2 with 1. A successful
    // decode clears every assignment map.
    bool Decode(std::span<const uint8_t> block);
    // True when the block's count, an identifier or the high nibble of a status byte differs from
    // what is held. A block too short for its records counts as changed.
    bool IsChanged(std::span<const uint8_t> block) const;
    // Reads the list with D and decodes it; nothing changes when no block came. Raises UErr.
    void Load(UdpDev& dev);
    // Quiet read: true when a block came and differed (it is then decoded). Raises UErr.
    bool Poll(UdpDev& dev);
    bool HasInactive() const;
    // Pairs new index << 8 | inactive index for every inactive device and every new device of
    // its type code, both in display order.
    int ReplacePairs(ResList& out) const;

    static std::string DevName(uint32_t id) { return ::DevName(id); }
    std::string DevLabel(const BusDev& dev) const;   // "%s/%c%d"
    std::string DevLine(const BusDev& dev) const;    // "%s: %s%s" (cp1250)
    std::string PairText(uint16_t pair) const;       // "%s <-- %s"

    // Assignment maps.
    void Mark(ResKind kind, ResId id);
    void Unmark(ResKind kind, ResId id);
    int FreeList(ResKind kind, ResList& out) const;
    std::string ResName(ResId id, const char* prefix) const;   // "%s:%s%d" or "     ---     "
    // "Out", "In", "Rd", "Set": the prefix under which a resource of the kind follows its device's
    // name (output sets carry it only where their number must show, as in the floor-group pickers).
    static const char* ResourcePrefix(ResKind kind);
    std::string OutSetName(ResId id) const;                    // "%s" or "     ---  "
    // The record an identifier names, or nullptr for a device index of 108 or more.
    const BusDev* DeviceOf(ResId id) const;
    // The name of the device in a slot; "?" and the index for a slot outside the table.
    std::string SlotName(int index) const;
    // Clears all four maps of every record.
    void ClearMaps();

    std::array<BusDev, kMaxDevices> records{};
    std::array<uint8_t, kMaxDevices> order{};
    int recordCount = 0;
    int presentCount = 0;
    int kind = 0;        // 1 door controller, 2 lift controller
    int doorCount = 0;   // 0 when nothing valid is held

private:
    void SortOrder();
};
