#include "model/liftcfg.h"

#include <algorithm>

#include "link/udpdev.h"

namespace {

bool InRange(int slot, int count) { return slot >= 0 && slot < count; }

}  // namespace

bool DecodeLift(std::span<const uint8_t> block, LiftCfg& lift) { return DecodeRecord(block, 2, lift.bytes); }

std::size_t EncodeLift(const LiftCfg& lift, uint8_t* out)
{
    std::copy(lift.bytes.begin(), lift.bytes.end(), out);
    return kRecordSize;
}

void LiftConfig::Load(UdpDev& dev)
{
    if (!dev.reachable || dev.ModeIndex() < 2) return;
    dev.EnsureSession();
    read_ = false;
    baseline_ = lift;
    Block block{};
    const std::size_t length = std::min(dev.ReadBlock(static_cast<uint8_t>(devs_.kind), 0, block), block.size());
    // A rejected block keeps the record, unread; the maps are rebuilt from whatever it holds.
    read_ = DecodeLift(std::span<const uint8_t>(block.data(), length), lift);
    baseline_ = lift;
    RebuildMaps();
}

void LiftConfig::Save(UdpDev& dev)
{
    if (!read_ && !WasEdited()) return;   // a record never read must not overwrite the lift's own
    dev.EnsureSession();
    std::array<uint8_t, kRecordSize> out{};
    const std::size_t length = EncodeLift(lift, out.data());
    dev.WriteBlock(static_cast<uint8_t>(devs_.kind), 0, length, out.data());
}

void LiftConfig::Clear()
{
    lift.bytes.fill(0);
    std::fill_n(lift.bytes.begin(), kParamsAt, uint8_t{0xFF});
    baseline_ = lift;
    read_ = false;
}

void LiftConfig::RebuildMaps()
{
    for (int s = 0; s < kLiftSets; ++s) devs_.Mark(ResKind::OutputSet, lift.OutputSet(s));
    for (int s = 0; s < kLiftInputs; ++s) devs_.Mark(ResKind::Input, lift.Input(s));
    for (int s = 0; s < kReaderSlots; ++s) devs_.Mark(ResKind::Reader, lift.Reader(s));
}

void LiftConfig::Release(ResKind kind, ResId old)
{
    devs_.Unmark(kind, old);
    if (old == kNoRes) return;
    const auto remark = [&](ResId id) {
        if (id != kNoRes && ResDevice(id) == ResDevice(old)) devs_.Mark(kind, id);
    };
    switch (kind) {
    case ResKind::OutputSet:
        for (int s = 0; s < kLiftSets; ++s) remark(lift.OutputSet(s));
        break;
    case ResKind::Input:
        for (int s = 0; s < kLiftInputs; ++s) remark(lift.Input(s));
        break;
    case ResKind::Reader:
        for (int s = 0; s < kReaderSlots; ++s) remark(lift.Reader(s));
        break;
    case ResKind::Output: break;
    }
}

void LiftConfig::AssignSet(int slot, ResId id)
{
    if (!InRange(slot, kLiftSets)) return;
    const ResId old = lift.OutputSet(slot);
    PutRecordSlot(lift.bytes, kOutputsAt, slot, id);
    Release(ResKind::OutputSet, old);
    devs_.Mark(ResKind::OutputSet, id);
}

void LiftConfig::AssignInput(int slot, ResId id, bool nc)
{
    if (!InRange(slot, kLiftInputs)) return;
    const ResId old = lift.Input(slot);
    const ResId value = WithNc(id, nc);
    PutRecordSlot(lift.bytes, kLiftInputsAt, slot, value);
    Release(ResKind::Input, old);
    devs_.Mark(ResKind::Input, value);
}

void LiftConfig::AssignReader(int slot, ResId id)
{
    if (!InRange(slot, kReaderSlots)) return;
    const ResId old = lift.Reader(slot);
    PutRecordSlot(lift.bytes, kReadersAt, slot, id);
    Release(ResKind::Reader, old);
    devs_.Mark(ResKind::Reader, id);
}

void LiftConfig::SetInputNc(int slot, bool on)
{
    if (!InRange(slot, kLiftInputs)) return;
    PutRecordSlot(lift.bytes, kLiftInputsAt, slot, WithNc(lift.Input(slot), on));
}

std::string LiftConfig::LiftName() const { return RecordName(lift.bytes); }

void LiftConfig::SetLiftName(const std::string& text) { PutRecordName(lift.bytes, text); }

void LiftConfig::SetUnlockTime(uint8_t value) { lift.Param(4) = std::min(value, kMaxTime); }
