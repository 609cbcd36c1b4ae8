#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "model/doorcfg.h"

// ---------------------------------------------------------------------------------------------
// Lift configuration: one 104-byte record in wire layout.

constexpr int kLiftSets = 8;
constexpr int kLiftInputs = 8;
constexpr std::size_t kLiftInputsAt = 16;

struct LiftCfg {
    std::array<uint8_t, kRecordSize> bytes{};   // sets 0-15, inputs 16-31, readers 32-39, params 40-103

    ResId OutputSet(int slot) const { return RecordSlot(bytes, kOutputsAt, kLiftSets, slot); }  // 0-7
    ResId Input(int slot) const { return RecordSlot(bytes, kLiftInputsAt, kLiftInputs, slot); } // 0-7
    ResId Reader(int slot) const { return RecordSlot(bytes, kReadersAt, kReaderSlots, slot); }  // 0-3
    uint8_t& Param(int offset) { return bytes[kParamsAt + static_cast<std::size_t>(offset)]; }
    uint8_t Param(int offset) const { return bytes[kParamsAt + static_cast<std::size_t>(offset)]; }
    uint8_t UnlockTime() const { return Param(4); }

    bool operator==(const LiftCfg&) const = default;
};

// Decodes a lift block (header 2, 0x88, 8, 4; at least 112 bytes); false leaves lift unchanged.
// Parameter bytes 4-7 above 127 become 127.
bool DecodeLift(std::span<const uint8_t> block, LiftCfg& lift);
std::size_t EncodeLift(const LiftCfg& lift, uint8_t* out);   // writes 104 bytes

// The lift record of a lift controller. Operations with a slot outside their group do nothing.
class LiftConfig {
public:
    explicit LiftConfig(BusDevSet& devs) : devs_(devs) {}

    // Reads the lift block; a rejected block keeps the record, which then counts as not read.
    // Raises UErr from the link.
    void Load(UdpDev& dev);
    // Writes the record when it was read, or edited since; otherwise sends nothing. Raises UErr.
    void Save(UdpDev& dev);
    void RebuildMaps();

    // The record assigns nothing (every slot 0xFFFF, the parameters zero) and is not read.
    void Clear();
    bool WasRead() const { return read_; }
    // The record differs from what the last Load (or Clear) left in it.
    bool WasEdited() const { return lift != baseline_; }
    void AssignSet(int slot, ResId id);
    void AssignInput(int slot, ResId id, bool nc);
    void AssignReader(int slot, ResId id);
    void SetInputNc(int slot, bool on);
    std::string LiftName() const;                 // cp1250
    void SetLiftName(const std::string& text);    // cp1250, at most 15 bytes kept
    void SetUnlockTime(uint8_t value);            // limited to 127

    LiftCfg lift{};

private:
    LiftCfg baseline_{};
    bool read_ = false;
    // As DoorConfig::Release: the bit of a released identifier stays while another slot holds it.
    void Release(ResKind kind, ResId old);

    BusDevSet& devs_;
};
