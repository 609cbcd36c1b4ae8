// A door block as a controller might send it: decode, re-encode and compare, then run the maps
// and the report over the record it gave.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/require.h"
#include "model/ctrlcfg.h"
#include "report/report.h"

namespace {

// A fixed inventory of a controller and a few modules, four doors.
const std::vector<uint8_t>& ListBlock()
{
    static const std::vector<uint8_t> block = [] {
        std::vector<uint8_t> b = {5, 0, 0x14, 0, 0, 0};
        for (uint32_t i = 0; i < 5; ++i) {
            const uint32_t id = (3u << 28) | ((i == 0 ? 305u : 702u) << 16) | (i + 1);
            for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(id >> (8 * k)));
            b.insert(b.end(), {1, 0, 8, static_cast<uint8_t>(i % 2 ? 4 : 0), 8, 3, 0, 0});
        }
        return b;
    }();
    return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::vector<uint8_t> block(data, data + size);
    DoorCfg door;
    door.bytes.fill(0x5C);
    const DoorCfg before = door;
    if (!DecodeDoor(block, door)) {
        REQUIRE(door == before);
        REQUIRE(size < 112 || !(block[0] == 1 && block[1] == 6 && block[2] == 10 && block[3] == 4));
        return 0;
    }
    REQUIRE(size >= 112);
    std::vector<uint8_t> out(104);
    REQUIRE(EncodeDoor(door, out.data()) == 104);
    for (std::size_t i = 0; i < 104; ++i) {
        const uint8_t expected = (i >= 44 && i < 48) ? std::min<uint8_t>(block[8 + i], 127) : block[8 + i];
        REQUIRE(out[i] == expected);
    }

    // The record's identifiers on the maps: edits keep them what a rebuild gives.
    BusDevSet devs;
    REQUIRE(devs.Decode(ListBlock()));
    DoorConfig cfg(devs);
    for (DoorCfg& d : cfg.doors) d = door;
    cfg.RebuildMaps();
    for (int slot = 0; slot < 6; ++slot) cfg.AssignOutput(slot % 4, slot, door.Input(slot), (slot & 1) != 0);
    for (int slot = 0; slot < 4; ++slot) cfg.AssignReader(slot, slot, door.Output(slot));
    BusDevSet rebuilt = devs;
    rebuilt.ClearMaps();
    DoorConfig again(rebuilt);
    again.doors = cfg.doors;
    again.RebuildMaps();
    REQUIRE(devs.records == rebuilt.records);

    const std::string text = ReportText(0x31310001u, devs, cfg, "L", {2024, 5, 17});
    REQUIRE(text.size() > 100 && text.substr(text.size() - 2) == "\r\n");
    return 0;
}
