#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "model/busdevs.h"

// ---------------------------------------------------------------------------------------------
// Door configuration: 104-byte records in wire layout.

constexpr std::size_t kRecordSize = 104;
constexpr std::size_t kConfigBlockSize = 112;   // 8-byte header + record
constexpr int kDoorOutputs = 6;
constexpr int kDoorInputs = 10;
constexpr int kReaderSlots = 4;
constexpr uint8_t kMaxTime = 127;   // times are 0-127 half seconds

// Offsets of the slot groups inside a record (door and lift alike up to the readers).
constexpr std::size_t kOutputsAt = 0;
constexpr std::size_t kDoorInputsAt = 12;
constexpr std::size_t kReadersAt = 32;
constexpr std::size_t kParamsAt = 40;
constexpr std::size_t kParamSize = 64;
constexpr std::size_t kNameAt = 48;    // in the parameter area, door and lift alike
constexpr std::size_t kNameSize = 16;  // 15 bytes of text and a NUL

// Helpers shared by the door and the lift record, which differ only in their block header and in
// the size of their slot groups.
using RecordBytes = std::array<uint8_t, kRecordSize>;
// Slot `slot` of a group of `count` u16 identifiers at `at`, or 0xFFFF for a slot outside it.
ResId RecordSlot(const RecordBytes& bytes, std::size_t at, int count, int slot);
void PutRecordSlot(RecordBytes& bytes, std::size_t at, int slot, ResId id);
// The name field (parameter bytes 48-63) as text, its 16th byte taken as NUL.
std::string RecordName(const RecordBytes& bytes);
// At most 15 bytes of the text up to its first NUL, then zeros to the end of the field.
void PutRecordName(RecordBytes& bytes, const std::string& text);
// A block of at least 112 bytes with the header of its kind (door 1, 6, 10, 4; lift 2, 0x88, 8, 4):
// the record after the header exactly as the controller sent it. Anything else leaves the record
// unchanged and returns false.
bool RecordAsSent(std::span<const uint8_t> block, int kind, RecordBytes& record);
// The same, then parameter bytes 4-7 limited to 127: the record as the editors hold it.
bool DecodeRecord(std::span<const uint8_t> block, int kind, RecordBytes& record);

struct DoorCfg {
    std::array<uint8_t, kRecordSize> bytes{};   // outputs 0-11, inputs 12-31, readers 32-39, params 40-103

    ResId Output(int slot) const { return RecordSlot(bytes, kOutputsAt, kDoorOutputs, slot); }   // 0-5
    ResId Input(int slot) const { return RecordSlot(bytes, kDoorInputsAt, kDoorInputs, slot); }  // 0-9
    ResId Reader(int slot) const { return RecordSlot(bytes, kReadersAt, kReaderSlots, slot); }   // 0-3
    uint8_t& Param(int offset) { return bytes[kParamsAt + static_cast<std::size_t>(offset)]; }
    uint8_t Param(int offset) const { return bytes[kParamsAt + static_cast<std::size_t>(offset)]; }

    int Type() const { return Param(0) & 0x0F; }
    bool Handle() const { return (Param(2) & 0x40) != 0; }
    bool FullPulse() const { return (Param(2) & 0x80) != 0; }
    uint8_t LockTime() const { return Param(4); }
    uint8_t OpenTime() const { return Param(6); }
    bool ExitReader(int slot) const { return slot >= 0 && slot < kReaderSlots && (Param(32 + 4 * slot) & 1) != 0; }

    bool operator==(const DoorCfg&) const = default;
};

// Decodes a door block (header 1, 6, 10, 4; at least 112 bytes); false leaves door unchanged.
// Parameter bytes 4-7 above 127 become 127.
bool DecodeDoor(std::span<const uint8_t> block, DoorCfg& door);
std::size_t EncodeDoor(const DoorCfg& door, uint8_t* out);         // writes 104 bytes

std::string TimeText(int value);              // "%i" of value / 2, ",5" when odd
uint8_t ParseTime(const std::string& text);   // "%d,%1d", limited to 0-127

// The doors of the selected controller. Only doors 0 to doorCount-1 of the inventory are read,
// written and kept in the inventory's maps; every operation taking a door index does nothing for
// an index outside 0-7 (or a slot outside its group), and an edit of a door at or beyond
// doorCount is stored without touching the maps.
class DoorConfig {
public:
    explicit DoorConfig(BusDevSet& devs) : devs_(devs) {}

    // Reads doors 0 to doorCount-1. A door whose block is rejected keeps its record and counts as
    // not read. Raises UErr from the link.
    void Load(UdpDev& dev);
    // Writes doors 0 to doorCount-1 that were read, or edited since (a record that was never read
    // from the controller must not overwrite the controller's own door). Sends nothing when there
    // is no such door. Raises UErr from the link.
    void Save(UdpDev& dev);
    void RebuildMaps();

    // Every record assigns nothing (every slot 0xFFFF, the parameters zero) and none counts as
    // read: what a selection starts from.
    void Clear();
    // The door's record holds what the last Load decoded from the controller.
    bool WasRead(int door) const;
    // The door's record differs from what the last Load (or Clear) left in it.
    bool WasEdited(int door) const;
    // Doors below doorCount that Save skips (neither read nor edited), bit i for door i.
    uint8_t UnreadDoors() const;

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
    void SetLockTime(int door, uint8_t value);   // limited to 127
    void SetOpenTime(int door, uint8_t value);   // limited to 127

    std::array<DoorCfg, kMaxDoors> doors{};

private:
    std::array<DoorCfg, kMaxDoors> baseline_{};   // the records as the last Load or Clear left them
    std::array<bool, kMaxDoors> read_{};
    int MappedDoors() const;
    bool Mapped(int door) const { return door < MappedDoors(); }
    // Clears the map bit of a released identifier unless another mapped slot of the kind still
    // holds that resource, so that the maps stay what RebuildMaps would build.
    void Release(ResKind kind, ResId old);

    BusDevSet& devs_;
};
