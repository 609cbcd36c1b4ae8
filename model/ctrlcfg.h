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
// 0xFFFF means nothing is assigned. Only identifiers below 0x6C00 (device index < 108) touch a map.

using ResId = uint16_t;
constexpr ResId kNoRes = 0xFFFF;
constexpr ResId kNcFlag = 0x80;
constexpr int kMaxDevices = 108;
constexpr int kMaxList = 2560;   // most entries in a free list or a pair list

enum class ResKind : uint8_t { Output = 0, Input = 1, Reader = 2, OutputSet = 3 };

inline int ResDevice(ResId r) { return r >> 8; }
inline int ResNumber(ResId r) { return r & 0x1F; }
inline bool ResHasNc(ResId r) { return r != kNoRes && (r & kNcFlag) != 0; }
inline ResId MakeRes(int device, int number) { return static_cast<ResId>((device << 8) | (number & 0x1F)); }

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
};

// Fixed-capacity list of identifiers (free resources) or replacement pairs.
struct ResList {
    std::array<uint16_t, kMaxList> items{};
    int count = 0;
    uint16_t operator[](int i) const { return items[static_cast<std::size_t>(i)]; }
};

class BusDevSet {
public:
    void Clear();
    bool Decode(std::span<const uint8_t> block);
    bool IsChanged(std::span<const uint8_t> block) const;
    void Load(UdpDev& dev);   // raises UErr from the link
    bool Poll(UdpDev& dev);   // raises UErr from the link
    bool HasInactive() const;
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
    std::string OutSetName(ResId id) const;                    // "%s" or "     ---  "
    // The record an identifier names, or nullptr for a device index of 108 or more.
    const BusDev* DeviceOf(ResId id) const;

    std::array<BusDev, kMaxDevices> records{};
    std::array<uint8_t, kMaxDevices> order{};
    int recordCount = 0;
    int presentCount = 0;
    int kind = 0;        // 1 door controller, 2 lift controller
    int doorCount = 0;   // 0 when nothing valid is held
};

// ---------------------------------------------------------------------------------------------
// Door configuration: 104-byte records in wire layout.

constexpr std::size_t kRecordSize = 104;
constexpr std::size_t kConfigBlockSize = 112;   // 8-byte header + record
constexpr int kMaxDoors = 8;

struct DoorCfg {
    std::array<uint8_t, kRecordSize> bytes{};   // outputs 0-11, inputs 12-31, readers 32-39, params 40-103

    ResId Output(int slot) const;   // slots 0-5
    ResId Input(int slot) const;    // slots 0-9
    ResId Reader(int slot) const;   // slots 0-3
    uint8_t& Param(int offset) { return bytes[40 + static_cast<std::size_t>(offset)]; }
    uint8_t Param(int offset) const { return bytes[40 + static_cast<std::size_t>(offset)]; }

    int Type() const { return Param(0) & 0x0F; }
    bool Handle() const { return (Param(2) & 0x40) != 0; }
    bool FullPulse() const { return (Param(2) & 0x80) != 0; }
    uint8_t LockTime() const { return Param(4); }
    uint8_t OpenTime() const { return Param(6); }
    bool ExitReader(int slot) const { return (Param(32 + 4 * slot) & 1) != 0; }
};

bool DecodeDoor(std::span<const uint8_t> block, DoorCfg& door);   // false leaves door unchanged
std::size_t EncodeDoor(const DoorCfg& door, uint8_t* out);         // writes 104 bytes

std::string TimeText(int value);          // "%i" of value / 2, ",5" when odd
uint8_t ParseTime(const std::string& text);   // "%d,%1d", limited to 0-127

class DoorConfig {
public:
    explicit DoorConfig(BusDevSet& devs) : devs_(devs) {}

    void Load(UdpDev& dev);
    void Save(UdpDev& dev);
    void RebuildMaps();

    void AssignOutput(int door, int slot, ResId id, bool nc);
    void AssignInput(int door, int slot, ResId id, bool nc);
    void AssignReader(int door, int slot, ResId id);
    void SetOutputNc(int door, int slot, bool on);
    void SetInputNc(int door, int slot, bool on);
    void SetExitReader(int door, int slot, bool on);
    int Airlock(int door) const;
    void SetAirlock(int door, int number);
    std::string DoorName(int door) const;                  // cp1250
    void SetDoorName(int door, const std::string& text);   // cp1250, at most 15 bytes kept
    void SetType(int door, int type);
    void SetHandle(int door, bool on);
    void SetFullPulse(int door, bool on);
    void SetLockTime(int door, uint8_t value);
    void SetOpenTime(int door, uint8_t value);

    std::array<DoorCfg, kMaxDoors> doors{};

private:
    BusDevSet& devs_;
};

// ---------------------------------------------------------------------------------------------
// Lift configuration: one 104-byte record in wire layout.

struct LiftCfg {
    std::array<uint8_t, kRecordSize> bytes{};   // sets 0-15, inputs 16-31, readers 32-39, params 40-103

    ResId OutputSet(int slot) const;   // slots 0-7
    ResId Input(int slot) const;       // slots 0-7
    ResId Reader(int slot) const;      // slots 0-3
    uint8_t& Param(int offset) { return bytes[40 + static_cast<std::size_t>(offset)]; }
    uint8_t Param(int offset) const { return bytes[40 + static_cast<std::size_t>(offset)]; }
    uint8_t UnlockTime() const { return Param(4); }
};

bool DecodeLift(std::span<const uint8_t> block, LiftCfg& lift);
std::size_t EncodeLift(const LiftCfg& lift, uint8_t* out);

class LiftConfig {
public:
    explicit LiftConfig(BusDevSet& devs) : devs_(devs) {}

    void Load(UdpDev& dev);
    void Save(UdpDev& dev);
    void RebuildMaps();
    void AssignSet(int slot, ResId id);
    void AssignInput(int slot, ResId id, bool nc);
    void AssignReader(int slot, ResId id);
    void SetInputNc(int slot, bool on);
    std::string LiftName() const;
    void SetLiftName(const std::string& text);
    void SetUnlockTime(uint8_t value);

    LiftCfg lift{};

private:
    BusDevSet& devs_;
};
