// The device list block as a controller might send it: decode, compare the decoded inventory
// with the block's bytes, and run every text and list the panel and the pickers build from it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/require.h"
#include "link/frame.h"
#include "model/ctrlcfg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // An exactly sized copy, so that a read past the received bytes is caught.
    const std::vector<uint8_t> block(data, data + size);
    BusDevSet devs;
    devs.kind = 7;
    if (!devs.Decode(block)) {
        REQUIRE(devs.recordCount == 0);
        REQUIRE(devs.doorCount == 0);
        REQUIRE(devs.presentCount == 0);
        return 0;
    }
    const std::size_t count = GetU16(block.data());
    REQUIRE(count <= 108 && block.size() >= 6 + 12 * count);
    REQUIRE(devs.recordCount == static_cast<int>(count));
    REQUIRE(devs.kind == block[2] >> 4 && devs.doorCount == (block[2] & 15));
    REQUIRE((devs.kind == 1 && devs.doorCount >= 1 && devs.doorCount <= 8) || (devs.kind == 2 && devs.doorCount == 1));
    REQUIRE(!devs.IsChanged(block));

    // Each record holds its block bytes; the order lists every present record once, the
    // controller never after a device it was listed before.
    std::vector<int> seen(count, 0);
    int present = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t* p = block.data() + 6 + 12 * i;
        const BusDev& d = devs.records[i];
        REQUIRE(d.id == GetU32(p) && d.info == p[4] && d.status == p[5]);
        REQUIRE(d.outCount <= 31 && d.inCount <= 31 && d.rdCount <= 3 && d.setCount <= 3);
        REQUIRE(d.usedOut == 0 && d.usedIn == 0 && d.usedRd == 0 && d.usedSet == 0);
        if (!IsAbsentId(d.id)) ++present;
    }
    REQUIRE(devs.presentCount == present);
    for (int p = 0; p < devs.presentCount; ++p) {
        const std::size_t index = devs.order[static_cast<std::size_t>(p)];
        REQUIRE(index < count && !IsAbsentId(devs.records[index].id) && ++seen[index] == 1);
        if (p + 1 < devs.presentCount) {
            const uint32_t a = devs.records[index].id;
            const uint32_t b = devs.records[devs.order[static_cast<std::size_t>(p + 1)]].id;
            REQUIRE(TypeCategory(a) == kControllerCategory || SortKey(a) <= SortKey(b));
        }
    }

    // Everything the panel, the pickers and the replace dialog build from the list.
    for (int p = 0; p < devs.presentCount; ++p) {
        const BusDev& d = devs.records[devs.order[static_cast<std::size_t>(p)]];
        REQUIRE(!devs.DevLine(d).empty());
    }
    devs.HasInactive();
    ResList list;
    REQUIRE(devs.ReplacePairs(list) <= kMaxList);
    for (int i = 0; i < list.count; ++i) devs.PairText(list[i]);
    for (ResKind kind : {ResKind::Output, ResKind::Input, ResKind::Reader, ResKind::OutputSet}) {
        // A list stops at 2560 entries: marking what it gave offers the rest, until none is left.
        for (int round = 0; round < 3 && devs.FreeList(kind, list) > 0; ++round) {
            for (int i = 0; i < list.count; ++i) {
                REQUIRE(devs.DeviceOf(list[i]) != nullptr && !ResHasNc(list[i]));
                devs.Mark(kind, list[i]);
            }
        }
        REQUIRE(devs.FreeList(kind, list) == 0);
    }
    // Identifiers taken from the block's first bytes, whatever device index they carry.
    for (std::size_t i = 0; i + 1 < std::min<std::size_t>(block.size(), 128); i += 2) {
        const ResId id = GetU16(block.data() + i);
        devs.ResName(id, "Out");
        devs.OutSetName(id);
        devs.PairText(id);
    }
    return 0;
}
