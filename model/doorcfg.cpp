#include "model/doorcfg.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "link/frame.h"
#include "link/udpdev.h"

namespace {

constexpr std::array<uint8_t, 4> kDoorHeader = {1, 6, 10, 4};
constexpr std::array<uint8_t, 4> kLiftHeader = {2, 0x88, 8, 4};
constexpr std::size_t kBlockHeader = kConfigBlockSize - kRecordSize;

bool ValidDoor(int door) { return door >= 0 && door < kMaxDoors; }
bool InRange(int slot, int count) { return slot >= 0 && slot < count; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Record helpers.

ResId RecordSlot(const RecordBytes& bytes, std::size_t at, int count, int slot)
{
    if (!InRange(slot, count)) return kNoRes;
    return GetU16(bytes.data() + at + 2 * static_cast<std::size_t>(slot));
}

void PutRecordSlot(RecordBytes& bytes, std::size_t at, int slot, ResId id)
{
    PutU16(bytes.data() + at + 2 * static_cast<std::size_t>(slot), id);
}

std::string RecordName(const RecordBytes& bytes)
{
    const char* name = reinterpret_cast<const char*>(bytes.data() + kParamsAt + kNameAt);
    return std::string(name, strnlen(name, kNameSize - 1));
}

void PutRecordName(RecordBytes& bytes, const std::string& text)
{
    uint8_t* field = bytes.data() + kParamsAt + kNameAt;
    const std::size_t length = strnlen(text.c_str(), std::min(text.size(), kNameSize - 1));
    std::fill_n(field, kNameSize, uint8_t{0});
    std::memcpy(field, text.data(), length);
}

bool RecordAsSent(std::span<const uint8_t> block, int kind, RecordBytes& record)
{
    const std::array<uint8_t, 4>& header = kind == 2 ? kLiftHeader : kDoorHeader;
    if (block.size() < kConfigBlockSize || !std::equal(header.begin(), header.end(), block.begin())) return false;
    std::copy_n(block.begin() + kBlockHeader, kRecordSize, record.begin());
    return true;
}

bool DecodeRecord(std::span<const uint8_t> block, int kind, RecordBytes& record)
{
    if (!RecordAsSent(block, kind, record)) return false;
    // The controller keeps these four parameter bytes within 0-127 half seconds; a larger value
    // would not survive the page's time field, so it is limited at once.
    for (std::size_t i = 4; i < 8; ++i) {
        uint8_t& b = record[kParamsAt + i];
        b = std::min(b, kMaxTime);
    }
    return true;
}

bool DecodeDoor(std::span<const uint8_t> block, DoorCfg& door) { return DecodeRecord(block, 1, door.bytes); }

std::size_t EncodeDoor(const DoorCfg& door, uint8_t* out)
{
    std::copy(door.bytes.begin(), door.bytes.end(), out);
    return kRecordSize;
}

// ---------------------------------------------------------------------------------------------
// Times in half seconds.

std::string TimeText(int value)
{
    std::string text = std::to_string(value / 2);
    if (value % 2 != 0) text += ",5";
    return text;
}

// Reads the text as "%d,%1d" would: a whole number (leading blanks and a sign allowed), then, right
// after it, a comma and one digit (blanks allowed before the digit). A part that is missing
// counts as 0. The whole number saturates instead of overflowing; the result is limited anyway.
uint8_t ParseTime(const std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = 0;
    while (i < text.size() && blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i >= text.size() || !digit(text[i])) return 0;
    long whole = 0;
    for (; i < text.size() && digit(text[i]); ++i) whole = std::min(whole * 10 + (text[i] - '0'), 1000L);
    if (negative) whole = -whole;
    int fraction = 0;
    if (i < text.size() && text[i] == ',') {
        ++i;
        while (i < text.size() && blank(text[i])) ++i;
        if (i < text.size() && digit(text[i])) fraction = text[i] - '0';
    }
    const long value = whole * 2 + (fraction >= 5 ? 1 : 0);
    return static_cast<uint8_t>(std::clamp(value, 0L, static_cast<long>(kMaxTime)));
}

// ---------------------------------------------------------------------------------------------
// DoorConfig.

int DoorConfig::MappedDoors() const { return std::clamp(devs_.doorCount, 0, kMaxDoors); }

void DoorConfig::Load(UdpDev& dev)
{
    if (!dev.reachable || dev.ModeIndex() < 2) return;
    dev.EnsureSession();
    // Until its block has been decoded, no door counts as read: a reading that stops half-way
    // leaves the later doors unread.
    for (int i = 0; i < MappedDoors(); ++i) {
        read_[static_cast<std::size_t>(i)] = false;
        baseline_[static_cast<std::size_t>(i)] = doors[static_cast<std::size_t>(i)];
    }
    Block block{};
    for (int i = 0; i < MappedDoors(); ++i) {
        const auto door = static_cast<std::size_t>(i);
        const std::size_t length =
            std::min(dev.ReadBlock(static_cast<uint8_t>(devs_.kind), static_cast<uint8_t>(i), block), block.size());
        // A block with another header, or a short one, leaves the door as it was, and unread.
        read_[door] = DecodeDoor(std::span<const uint8_t>(block.data(), length), doors[door]);
        baseline_[door] = doors[door];
    }
    RebuildMaps();
}

void DoorConfig::Save(UdpDev& dev)
{
    if (UnreadDoors() == (1u << MappedDoors()) - 1u) return;   // nothing that may be written
    dev.EnsureSession();
    std::array<uint8_t, kRecordSize> out{};
    for (int i = 0; i < MappedDoors(); ++i) {
        if (!WasRead(i) && !WasEdited(i)) continue;
        const std::size_t length = EncodeDoor(doors[static_cast<std::size_t>(i)], out.data());
        dev.WriteBlock(static_cast<uint8_t>(devs_.kind), static_cast<uint8_t>(i), length, out.data());
    }
}

void DoorConfig::Clear()
{
    DoorCfg unassigned;
    std::fill_n(unassigned.bytes.begin(), kParamsAt, uint8_t{0xFF});
    doors.fill(unassigned);
    baseline_.fill(unassigned);
    read_.fill(false);
}

bool DoorConfig::WasRead(int door) const { return ValidDoor(door) && read_[static_cast<std::size_t>(door)]; }

bool DoorConfig::WasEdited(int door) const
{
    return ValidDoor(door) && doors[static_cast<std::size_t>(door)] != baseline_[static_cast<std::size_t>(door)];
}

uint8_t DoorConfig::UnreadDoors() const
{
    unsigned mask = 0;
    for (int i = 0; i < MappedDoors(); ++i)
        if (!WasRead(i) && !WasEdited(i)) mask |= 1u << i;
    return static_cast<uint8_t>(mask);
}

void DoorConfig::RebuildMaps()
{
    for (int i = 0; i < MappedDoors(); ++i) {
        const DoorCfg& d = doors[static_cast<std::size_t>(i)];
        for (int s = 0; s < kDoorOutputs; ++s) devs_.Mark(ResKind::Output, d.Output(s));
        for (int s = 0; s < kDoorInputs; ++s) devs_.Mark(ResKind::Input, d.Input(s));
        for (int s = 0; s < kReaderSlots; ++s) devs_.Mark(ResKind::Reader, d.Reader(s));
    }
}

void DoorConfig::Release(ResKind kind, ResId old)
{
    devs_.Unmark(kind, old);
    if (old == kNoRes) return;
    // Marking is idempotent, so every slot of the kind on the same device is marked again: a
    // resource that another function still holds keeps its bit.
    for (int i = 0; i < MappedDoors(); ++i) {
        const DoorCfg& d = doors[static_cast<std::size_t>(i)];
        const auto remark = [&](ResId id) {
            if (id != kNoRes && ResDevice(id) == ResDevice(old)) devs_.Mark(kind, id);
        };
        switch (kind) {
        case ResKind::Output:
            for (int s = 0; s < kDoorOutputs; ++s) remark(d.Output(s));
            break;
        case ResKind::Input:
            for (int s = 0; s < kDoorInputs; ++s) remark(d.Input(s));
            break;
        case ResKind::Reader:
            for (int s = 0; s < kReaderSlots; ++s) remark(d.Reader(s));
            break;
        case ResKind::OutputSet: break;
        }
    }
}

void DoorConfig::AssignOutput(int door, int slot, ResId id, bool nc)
{
    if (!ValidDoor(door) || !InRange(slot, kDoorOutputs)) return;
    DoorCfg& d = doors[static_cast<std::size_t>(door)];
    const ResId old = d.Output(slot);
    // The NC flag belongs only to open-collector outputs; any other identifier is stored as the
    // picker gave it. An identifier naming no device record is never taken for open-collector.
    const BusDev* target = devs_.DeviceOf(id);
    const ResId value = (target != nullptr && target->hasOc) ? WithNc(id, nc) : id;
    PutRecordSlot(d.bytes, kOutputsAt, slot, value);
    if (Mapped(door)) {
        Release(ResKind::Output, old);
        devs_.Mark(ResKind::Output, value);
    }
    // The door sensor must sit on the lock's device: it goes when the lock goes or moves away.
    if (slot == 0 && (id == kNoRes || ResDevice(id) != ResDevice(old))) AssignInput(door, 1, kNoRes, false);
}

void DoorConfig::AssignInput(int door, int slot, ResId id, bool nc)
{
    if (!ValidDoor(door) || !InRange(slot, kDoorInputs)) return;
    DoorCfg& d = doors[static_cast<std::size_t>(door)];
    const ResId old = d.Input(slot);
    const ResId value = WithNc(id, nc);
    PutRecordSlot(d.bytes, kDoorInputsAt, slot, value);
    if (Mapped(door)) {
        Release(ResKind::Input, old);
        devs_.Mark(ResKind::Input, value);
    }
}

void DoorConfig::AssignReader(int door, int slot, ResId id)
{
    if (!ValidDoor(door) || !InRange(slot, kReaderSlots)) return;
    DoorCfg& d = doors[static_cast<std::size_t>(door)];
    const ResId old = d.Reader(slot);
    PutRecordSlot(d.bytes, kReadersAt, slot, id);
    if (Mapped(door)) {
        Release(ResKind::Reader, old);
        devs_.Mark(ResKind::Reader, id);
    }
}

void DoorConfig::SetOutputNc(int door, int slot, bool on)
{
    if (!ValidDoor(door) || !InRange(slot, kDoorOutputs)) return;
    DoorCfg& d = doors[static_cast<std::size_t>(door)];
    PutRecordSlot(d.bytes, kOutputsAt, slot, WithNc(d.Output(slot), on));
}

void DoorConfig::SetInputNc(int door, int slot, bool on)
{
    if (!ValidDoor(door) || !InRange(slot, kDoorInputs)) return;
    DoorCfg& d = doors[static_cast<std::size_t>(door)];
    PutRecordSlot(d.bytes, kDoorInputsAt, slot, WithNc(d.Input(slot), on));
}

void DoorConfig::SetExitReader(int door, int slot, bool on)
{
    if (!ValidDoor(door) || !InRange(slot, kReaderSlots)) return;
    uint8_t& flags = doors[static_cast<std::size_t>(door)].Param(32 + 4 * slot);
    flags = static_cast<uint8_t>(on ? (flags | 1) : (flags & ~1));
}

int DoorConfig::Airlock(int door) const
{
    if (!ValidDoor(door)) return -1;
    const uint8_t b = doors[static_cast<std::size_t>(door)].Param(2);
    return (b & 4) != 0 ? (b & 3) : -1;
}

void DoorConfig::SetAirlock(int door, int number)
{
    if (!ValidDoor(door)) return;
    uint8_t& b = doors[static_cast<std::size_t>(door)].Param(2);
    // Leaving an airlock clears only its membership bit; the number stays for the next time.
    if (number >= 0 && number <= 3) b = static_cast<uint8_t>((b & ~7) | (number + 4));
    else b = static_cast<uint8_t>(b & ~4);
}

std::string DoorConfig::DoorName(int door) const
{
    if (!ValidDoor(door)) return {};
    return RecordName(doors[static_cast<std::size_t>(door)].bytes);
}

void DoorConfig::SetDoorName(int door, const std::string& text)
{
    if (!ValidDoor(door)) return;
    PutRecordName(doors[static_cast<std::size_t>(door)].bytes, text);
}

void DoorConfig::SetType(int door, int type)
{
    if (!ValidDoor(door)) return;
    uint8_t& b = doors[static_cast<std::size_t>(door)].Param(0);
    b = static_cast<uint8_t>((b & 0xF0) | (type & 0x0F));
}

void DoorConfig::SetHandle(int door, bool on)
{
    if (!ValidDoor(door)) return;
    uint8_t& b = doors[static_cast<std::size_t>(door)].Param(2);
    b = static_cast<uint8_t>(on ? (b | 0x40) : (b & ~0x40));
}

void DoorConfig::SetFullPulse(int door, bool on)
{
    if (!ValidDoor(door)) return;
    uint8_t& b = doors[static_cast<std::size_t>(door)].Param(2);
    b = static_cast<uint8_t>(on ? (b | 0x80) : (b & ~0x80));
}

void DoorConfig::SetLockTime(int door, uint8_t value)
{
    if (!ValidDoor(door)) return;
    doors[static_cast<std::size_t>(door)].Param(4) = std::min(value, kMaxTime);
}

void DoorConfig::SetOpenTime(int door, uint8_t value)
{
    if (!ValidDoor(door)) return;
    doors[static_cast<std::size_t>(door)].Param(6) = std::min(value, kMaxTime);
}
