// Comparing configurations in device-name terms.
#include "fixture.h"
#include "snapshot/diff.h"

namespace {

std::vector<std::vector<std::string>> Rows(const std::vector<Difference>& diffs)
{
    std::vector<std::vector<std::string>> rows;
    for (const Difference& d : diffs) rows.push_back({d.place, d.label, d.a, d.b});
    return rows;
}

TEST(Diff, TheSameConfigurationIsEqual)
{
    const Snapshot snap = SnapOf(Sample(0x18));
    EXPECT_TRUE(Diff(snap, snap).empty());
    EXPECT_EQ(DiffText({}), "");
}

TEST(Diff, ShowsExactlyWhatChangedOneLineEach)
{
    const SampleController& c = Sample(0x18);
    SampleController changed = c;
    SetBlockSlot(changed.blocks[1], 0, 0x0700);             // door 2's lock onto the lock Z103_00077
    SetBlockName(changed.blocks[1], "Serwer");
    changed.blocks[0][kParamOffset + 1] = 0x07;              // a byte nothing interprets
    changed.blocks[0][kParamOffset + 2] = 0x01;              // an airlock number outside an airlock
    changed.blocks[1][kParamOffset + 2] = 0x05;              // another airlock
    changed.blocks[4][kParamOffset + 6] = 5;                 // 2,5 s
    const std::vector<Difference> diffs = Diff(SnapOf(c), SnapOf(changed));
    EXPECT_EQ(Rows(diffs), (std::vector<std::vector<std::string>>{
                               {"Przejście 1", "bajt 41 zapisu", "0x00", "0x07"},
                               {"Przejście 1", "bajt 42 zapisu", "0x00", "0x01"},
                               {"Przejście 2", "Nazwa", "Serwerownia", "Serwer"},
                               {"Przejście 2", "Rygiel", "kontroler:Out2", "Z103_00077:Out1"},
                               {"Przejście 2", "Śluza", "Śluza 1", "Śluza 2"},
                               {"Przejście 5", "Dozw. czas otwarcia", "0 s", "2,5 s"},
                           }));
    EXPECT_EQ(diffs[3].door, 2);
    EXPECT_EQ(diffs[3].key, "lock");
    EXPECT_EQ(DiffText({diffs[2], diffs[3], diffs[5]}),
              "Przejście 2  Nazwa                Serwerownia     Serwer\n"
              "Przejście 2  Rygiel               kontroler:Out2  Z103_00077:Out1\n"
              "Przejście 5  Dozw. czas otwarcia  0 s             2,5 s\n");
    const Json json = DiffJson({diffs[3]});
    EXPECT_EQ(json.dump(), R"([{"place":"Przejście 2","door":2,"function":"lock","label":"Rygiel","a":"kontroler:Out2","b":"Z103_00077:Out1"}])");
}

TEST(Diff, ComparesControllersWhoseBusesAreOrderedDifferently)
{
    const SampleController& c = Sample(0x14);
    std::vector<DevSpec> devices = DevicesOf(c.deviceList);
    std::swap(devices[1], devices[5]);   // R107_00311 and D102_00020 trade slots
    devices[0].id = MakeId(305, 1999);
    // The same doors, their identifiers following the devices.
    std::array<std::vector<uint8_t>, 8> blocks = c.blocks;
    for (auto& block : blocks) {
        if (block.empty()) continue;
        for (int slot = 0; slot < 20; ++slot) {
            const uint16_t r = BlockSlot(block, slot);
            if (r == 0xFFFF) continue;
            const int dev = r >> 8;
            const int moved = dev == 1 ? 5 : dev == 5 ? 1 : dev;
            SetBlockSlot(block, slot, static_cast<uint16_t>((moved << 8) | (r & 0xFF)));
        }
    }
    const Snapshot other = SnapOf(devices[0].id, DeviceListBlock(1, 4, devices), blocks);
    EXPECT_TRUE(Diff(SnapOf(c), other).empty());

    // Without following the devices, door 1's reader 1 is now on another device.
    const Snapshot moved = SnapOf(devices[0].id, DeviceListBlock(1, 4, devices), c.blocks);
    const auto rows = Rows(Diff(SnapOf(c), moved));
    EXPECT_NE(std::find(rows.begin(), rows.end(),
                        std::vector<std::string>{"Przejście 1", "Czytnik 1", "R107_00311:Rd1", "D102_00020:Rd1"}),
              rows.end());
}

TEST(Diff, ReportsKindDoorsDevicesAndUnreadRecords)
{
    const SampleController& c = Sample(0x14);
    EXPECT_EQ(Rows(Diff(SnapOf(c), SnapOf(Sample(0x21)))),
              (std::vector<std::vector<std::string>>{{"Kontroler", "Typ", "305", "310"},
                                                     {"Kontroler", "Rodzaj", "przejścia", "winda"}}));

    std::vector<DevSpec> devices = DevicesOf(c.deviceList);
    devices.pop_back();                                              // D102_00020 gone
    devices.push_back({MakeId(512, 5), 1, 0x10, 0, 0, 1, 1});        // a new keypad
    std::array<std::vector<uint8_t>, 8> blocks = c.blocks;
    blocks[1][0] = 7;                                              // door 2 not read
    for (int slot = 14; slot < 16; ++slot) SetBlockSlot(blocks[2], slot, 0xFFFF);   // door 3's D102_00020 inputs
    const Snapshot b = SnapOf(c.id, DeviceListBlock(1, 3, devices), blocks);
    EXPECT_EQ(Rows(Diff(SnapOf(c), b)), (std::vector<std::vector<std::string>>{
                                            {"Kontroler", "Liczba przejść", "4", "3"},
                                            {"Urządzenia", "D102_00020", "jest", "brak"},
                                            {"Urządzenia", "K112_00005", "brak", "jest"},
                                            {"Przejście 2", "Zapis", "odczytano", "nie odczytano"},
                                            {"Przejście 3", "Brak zasilania AC", "D102_00020:In1", "---"},
                                            {"Przejście 3", "Akumulator", "D102_00020:In2", "---"},
                                            {"Przejście 4", "Przejście", "jest", "brak"},
                                        }));
}

} // namespace
