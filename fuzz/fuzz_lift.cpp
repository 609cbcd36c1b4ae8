// A lift block as a controller might send it: decode, re-encode and compare, then the maps.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/require.h"
#include "model/ctrlcfg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::vector<uint8_t> block(data, data + size);
    LiftCfg lift;
    lift.bytes.fill(0xA3);
    const LiftCfg before = lift;
    if (!DecodeLift(block, lift)) {
        REQUIRE(lift == before);
        REQUIRE(size < 112 || !(block[0] == 2 && block[1] == 0x88 && block[2] == 8 && block[3] == 4));
        return 0;
    }
    REQUIRE(size >= 112);
    std::vector<uint8_t> out(104);
    REQUIRE(EncodeLift(lift, out.data()) == 104);
    for (std::size_t i = 0; i < 104; ++i) {
        const uint8_t expected = (i >= 44 && i < 48) ? std::min<uint8_t>(block[8 + i], 127) : block[8 + i];
        REQUIRE(out[i] == expected);
    }

    // Every slot names a device slot or none: names and maps stay inside the table.
    const std::vector<uint8_t> list = {1, 0, 0x21, 0, 0, 0, 1, 0, 0x31, 0x31, 1, 0, 0x83, 0, 8, 3, 0, 0};
    BusDevSet devs;
    REQUIRE(devs.Decode(list));
    LiftConfig cfg(devs);
    cfg.lift = lift;
    cfg.RebuildMaps();
    for (int slot = 0; slot < 8; ++slot) {
        devs.OutSetName(lift.OutputSet(slot));
        devs.ResName(lift.Input(slot), "In");
        cfg.AssignSet(slot, lift.Input(7 - slot));
        cfg.AssignInput(slot, lift.OutputSet(slot), (slot & 1) != 0);
    }
    BusDevSet rebuilt = devs;
    rebuilt.ClearMaps();
    LiftConfig again(rebuilt);
    again.lift = cfg.lift;
    again.RebuildMaps();
    REQUIRE(devs.records == rebuilt.records);
    REQUIRE(cfg.LiftName().size() <= 15);
    return 0;
}
