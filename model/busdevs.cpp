#include "model/busdevs.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/frame.h"
#include "link/udpdev.h"

namespace {

// Most records a block can hold; also the bound of every device index.
constexpr std::size_t kMaxRecords = kMaxDevices;

// The number of records a block announces, or nothing when its header is missing.
bool BlockCount(std::span<const uint8_t> block, std::size_t& count)
{
    if (block.size() < 2) return false;
    count = GetU16(block.data());
    return true;
}

bool HoldsRecords(std::span<const uint8_t> block, std::size_t count)
{
    return block.size() >= kDevListHeader + kDevRecordSize * count;
}

// The map bit an identifier occupies, and the map itself, for one kind.
uint32_t MapBit(ResKind kind, ResId id)
{
    const int number = ResNumber(id);
    switch (kind) {
    case ResKind::Output:
    case ResKind::Input: return 1u << (number & 31);
    case ResKind::Reader:
    case ResKind::OutputSet: return 1u << (number & 3);
    }
    return 0;
}

uint32_t MapOf(const BusDev& dev, ResKind kind)
{
    switch (kind) {
    case ResKind::Output: return dev.usedOut;
    case ResKind::Input: return dev.usedIn;
    case ResKind::Reader: return dev.usedRd;
    case ResKind::OutputSet: return dev.usedSet;
    }
    return 0;
}

void SetMap(BusDev& dev, ResKind kind, uint32_t value)
{
    switch (kind) {
    case ResKind::Output: dev.usedOut = value; break;
    case ResKind::Input: dev.usedIn = value; break;
    case ResKind::Reader: dev.usedRd = static_cast<uint16_t>(value); break;
    case ResKind::OutputSet: dev.usedSet = static_cast<uint16_t>(value); break;
    }
}

}  // namespace

void BusDevSet::Clear()
{
    recordCount = 0;
    presentCount = 0;
    doorCount = 0;
}

bool BusDevSet::Decode(std::span<const uint8_t> block)
{
    // A count beyond the table, or one the received bytes cannot hold, rejects the block before
    // anything else is read from it.
    std::size_t count = 0;
    if (!BlockCount(block, count) || count > kMaxRecords || !HoldsRecords(block, count)) {
        recordCount = 0;
        return false;
    }
    const uint8_t header = block[2];
    kind = header >> 4;
    const int doors = header & 0x0F;
    if (!((kind == 1 && doors >= 1 && doors <= kMaxDoors) || (kind == 2 && doors == 1))) {
        recordCount = 0;
        doorCount = 0;
        return false;
    }
    doorCount = doors;
    recordCount = static_cast<int>(count);

    int present = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t* p = block.data() + kDevListHeader + kDevRecordSize * i;
        BusDev& dev = records[i];
        dev.id = GetU32(p);
        if (!IsAbsentId(dev.id)) order[static_cast<std::size_t>(present++)] = static_cast<uint8_t>(i);
        dev.info = p[4];
        dev.status = p[5];
        dev.hasOc = p[7] != 0;
        if ((p[6] & 0x80) != 0) {
            dev.setCount = p[6] & 3;
            dev.outCount = 0;
        } else {
            dev.outCount = (p[7] != 0 ? p[7] : p[6]) & 0x1F;
            dev.setCount = 0;
        }
        dev.inCount = p[8] & 0x1F;
        dev.rdCount = p[9] & 3;
    }
    presentCount = present;
    // Every decode starts the maps afresh, records beyond the count included, so that the maps
    // are what the configuration holders rebuild and nothing else.
    ClearMaps();
    SortOrder();
    return true;
}

void BusDevSet::ClearMaps()
{
    for (BusDev& dev : records) {
        dev.usedOut = 0;
        dev.usedIn = 0;
        dev.usedRd = 0;
        dev.usedSet = 0;
    }
}

// Repeated passes of adjacent exchanges: a controller stays where it is against its successor,
// any other device moves behind a successor with a smaller key. Equal keys never swap, so the
// order is stable, and the controller that reports itself first stays first.
void BusDevSet::SortOrder()
{
    const std::size_t n = static_cast<std::size_t>(presentCount);
    std::array<uint32_t, kMaxDevices> key{};
    std::array<bool, kMaxDevices> fixed{};
    for (std::size_t p = 0; p < n; ++p) {
        const uint32_t id = records[order[p]].id;
        key[p] = SortKey(id);
        fixed[p] = TypeCategory(id) == kControllerCategory;
    }
    bool swapped = n > 1;
    while (swapped) {
        swapped = false;
        for (std::size_t p = 0; p + 1 < n; ++p) {
            if (fixed[p] || key[p] <= key[p + 1]) continue;
            std::swap(order[p], order[p + 1]);
            std::swap(key[p], key[p + 1]);
            std::swap(fixed[p], fixed[p + 1]);
            swapped = true;
        }
    }
}

bool BusDevSet::IsChanged(std::span<const uint8_t> block) const
{
    std::size_t count = 0;
    if (!BlockCount(block, count)) return true;
    if (count != static_cast<std::size_t>(recordCount)) return true;
    if (!HoldsRecords(block, count)) return true;
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t* p = block.data() + kDevListHeader + kDevRecordSize * i;
        if (GetU32(p) != records[i].id) return true;
        if ((p[5] & 0xF0) != (records[i].status & 0xF0)) return true;
    }
    return false;
}

void BusDevSet::Load(UdpDev& dev)
{
    Block block{};
    const std::size_t length = std::min(dev.ReadDevices(block), block.size());
    // No reply (unreachable, or a mode without bus configuration) leaves the inventory alone.
    if (length == 0) return;
    Decode(std::span<const uint8_t>(block.data(), length));
}

bool BusDevSet::Poll(UdpDev& dev)
{
    Block block{};
    std::size_t length = 0;
    if (!dev.TryReadDevices(block, length)) return false;
    const std::span<const uint8_t> received(block.data(), std::min(length, block.size()));
    if (!IsChanged(received)) return false;
    Decode(received);
    return true;
}

bool BusDevSet::HasInactive() const
{
    for (int p = 0; p < presentCount; ++p) {
        if ((records[order[static_cast<std::size_t>(p)]].status & kStatusInactive) != 0) return true;
    }
    return false;
}

int BusDevSet::ReplacePairs(ResList& out) const
{
    out.count = 0;
    for (int pj = 0; pj < presentCount; ++pj) {
        const int j = order[static_cast<std::size_t>(pj)];
        const BusDev& lost = records[static_cast<std::size_t>(j)];
        if ((lost.status & kStatusInactive) == 0) continue;
        for (int pk = 0; pk < presentCount; ++pk) {
            const int k = order[static_cast<std::size_t>(pk)];
            const BusDev& fresh = records[static_cast<std::size_t>(k)];
            if (k == j || (fresh.status & kStatusNew) == 0 || TypeCode(fresh.id) != TypeCode(lost.id)) continue;
            if (out.count >= kMaxList) return out.count;
            out.items[static_cast<std::size_t>(out.count++)] = static_cast<uint16_t>((k << 8) | j);
        }
    }
    return out.count;
}

std::string BusDevSet::DevLabel(const BusDev& dev) const
{
    return DevName(dev.id) + '/' + SuffixLetter(dev.id) + std::to_string(dev.info);
}

std::string BusDevSet::DevLine(const BusDev& dev) const
{
    const char* suffix = "";
    if ((dev.status & kStatusInactive) != 0) suffix = ",   (nieaktywny)";
    else if ((dev.status & kStatusPower) != 0) suffix = ",   (zasilanie!)";
    else if ((dev.status & kStatusTamper) != 0) suffix = ",   (sabota\xBF)";   // ",   (sabotaż)"
    else if ((dev.status & kStatusNew) != 0) suffix = ",   (nowy)";
    return std::string(TypeName(TypeCategory(dev.id))) + ": " + DevLabel(dev) + suffix;
}

std::string BusDevSet::SlotName(int index) const
{
    if (index >= 0 && index < kMaxDevices) return DevName(records[static_cast<std::size_t>(index)].id);
    return "?" + std::to_string(index);
}

std::string BusDevSet::PairText(uint16_t pair) const
{
    return SlotName(pair & 0x7F) + " <-- " + SlotName((pair >> 8) & 0x7F);
}

const BusDev* BusDevSet::DeviceOf(ResId id) const
{
    const int index = ResDevice(id);
    if (id == kNoRes || index >= kMaxDevices) return nullptr;
    return &records[static_cast<std::size_t>(index)];
}

void BusDevSet::Mark(ResKind kind, ResId id)
{
    const BusDev* dev = DeviceOf(id);
    if (dev == nullptr) return;
    BusDev& d = records[static_cast<std::size_t>(ResDevice(id))];
    SetMap(d, kind, MapOf(d, kind) | MapBit(kind, id));
}

void BusDevSet::Unmark(ResKind kind, ResId id)
{
    const BusDev* dev = DeviceOf(id);
    if (dev == nullptr) return;
    BusDev& d = records[static_cast<std::size_t>(ResDevice(id))];
    SetMap(d, kind, MapOf(d, kind) & ~MapBit(kind, id));
}

int BusDevSet::FreeList(ResKind kind, ResList& out) const
{
    out.count = 0;
    for (int p = 0; p < presentCount; ++p) {
        const int index = order[static_cast<std::size_t>(p)];
        const BusDev& dev = records[static_cast<std::size_t>(index)];
        const uint32_t used = MapOf(dev, kind);
        const int count = ResourceCount(dev, kind);
        for (int n = 0; n < count; ++n) {
            if ((used >> n) & 1u) continue;
            if (out.count >= kMaxList) return out.count;
            out.items[static_cast<std::size_t>(out.count++)] = MakeRes(index, n);
        }
    }
    return out.count;
}

int ResourceCount(const BusDev& dev, ResKind kind)
{
    switch (kind) {
    case ResKind::Output: return dev.outCount;
    case ResKind::Input: return dev.inCount;
    case ResKind::Reader: return dev.rdCount;
    case ResKind::OutputSet: return dev.setCount;
    }
    return 0;
}

const char* BusDevSet::ResourcePrefix(ResKind kind)
{
    switch (kind) {
    case ResKind::Output: return "Out";
    case ResKind::Input: return "In";
    case ResKind::Reader: return "Rd";
    case ResKind::OutputSet: return "Set";
    }
    return "";
}

std::string BusDevSet::ResName(ResId id, const char* prefix) const
{
    if (id == kNoRes) {
        std::string empty = "     ---     ";
        if (std::strlen(prefix) == 3) empty += ' ';
        return empty;
    }
    return SlotName(ResDevice(id)) + ':' + prefix + std::to_string(ResNumber(id) + 1);
}

std::string BusDevSet::OutSetName(ResId id) const
{
    if (id == kNoRes) return "     ---  ";
    return SlotName(ResDevice(id));
}
