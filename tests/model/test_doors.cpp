// Door records: the block codec, the assignment rules, the parameter fields and the time texts.
#include <gtest/gtest.h>

#include <random>

#include "model/ctrlcfg.h"
#include "tests/common/cp1250.h"
#include "tests/model/listblock.h"

namespace {

std::vector<uint8_t> DoorBlock(std::mt19937& rng, int timeLimit = 255)
{
    std::vector<uint8_t> b(112);
    for (uint8_t& x : b) x = static_cast<uint8_t>(rng());
    b[0] = 1, b[1] = 6, b[2] = 10, b[3] = 4;
    // Parameter bytes 4-7 sit at block offsets 52-55.
    for (std::size_t i = 52; i < 56; ++i) b[i] = static_cast<uint8_t>(b[i] % (timeLimit + 1));
    return b;
}

std::vector<uint8_t> Encoded(const DoorCfg& d)
{
    std::vector<uint8_t> out(104);
    EXPECT_EQ(EncodeDoor(d, out.data()), 104u);
    return out;
}

TEST(DoorCodec, Header)
{
    std::mt19937 rng(1);
    std::vector<uint8_t> block = DoorBlock(rng);
    DoorCfg door;
    door.bytes.fill(0x33);
    const DoorCfg before = door;
    for (const std::array<uint8_t, 4> bad : {std::array<uint8_t, 4>{1, 6, 10, 3}, {2, 0x88, 8, 4}, {1, 6, 9, 4},
                                             {0, 6, 10, 4}}) {
        std::copy(bad.begin(), bad.end(), block.begin());
        EXPECT_FALSE(DecodeDoor(block, door));
        EXPECT_EQ(door, before);
    }
    block[0] = 1, block[1] = 6, block[2] = 10, block[3] = 4;
    for (const uint8_t spare : std::array<uint8_t, 3>{0x00, 0x7F, 0xFF}) {
        std::fill(block.begin() + 4, block.begin() + 8, spare);
        EXPECT_TRUE(DecodeDoor(block, door));
    }
}

TEST(DoorCodec, RoundTripIsByteExact)
{
    std::mt19937 rng(7);
    for (int n = 0; n < 500; ++n) {
        const std::vector<uint8_t> block = DoorBlock(rng, 127);
        DoorCfg door;
        ASSERT_TRUE(DecodeDoor(block, door));
        ASSERT_EQ(Encoded(door), std::vector<uint8_t>(block.begin() + 8, block.end()));
    }
}

TEST(DoorCodec, TimesAreLimitedOnDecode)
{
    std::mt19937 rng(3);
    std::vector<uint8_t> block = DoorBlock(rng);
    // Parameter bytes 4-7 sit at block offsets 52-55; parameter byte 8 at 56.
    block[52] = 200, block[53] = 128, block[54] = 200, block[55] = 255, block[56] = 200;
    DoorCfg door;
    ASSERT_TRUE(DecodeDoor(block, door));
    EXPECT_EQ(door.LockTime(), 127);
    EXPECT_EQ(door.Param(5), 127);
    EXPECT_EQ(door.OpenTime(), 127);
    EXPECT_EQ(door.Param(7), 127);
    EXPECT_EQ(door.Param(8), 200);
    std::vector<uint8_t> expected(block.begin() + 8, block.end());
    expected[44] = expected[45] = expected[46] = expected[47] = 127;
    EXPECT_EQ(Encoded(door), expected);
}

TEST(DoorCodec, ShortBlocksAreRejected)
{
    std::mt19937 rng(4);
    const std::vector<uint8_t> block = DoorBlock(rng);
    DoorCfg door;
    for (std::size_t length : {0, 3, 4, 8, 111}) {
        // Exactly sized, so that a read past the end shows under AddressSanitizer.
        const std::vector<uint8_t> cut(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(DecodeDoor(cut, door)) << length;
    }
    EXPECT_EQ(door, DoorCfg{});
    std::vector<uint8_t> longer = block;
    longer.resize(1400, 0xEE);
    EXPECT_TRUE(DecodeDoor(longer, door));
}

// An inventory with the controller (slot 0, 4 relays and 8 open-collector outputs), two modules
// (slots 1 and 2, relays only), a reader (slot 3) and a module with open-collector outputs
// (slot 4); four doors.
struct DoorFixture : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(devs.Decode(ListBlock(0x14, {{Id(kControllerType, 42), 3, 0, 4, 8, 6, 2},
                                                 {Id(kModuleType, 1), 1, 0, 8, 0, 8, 0},
                                                 {Id(kModuleType, 2), 1, 0, 8, 0, 8, 0},
                                                 {Id(kReaderType, 3), 1, 0, 1, 0, 1, 1},
                                                 {Id(kModuleType, 4), 1, 0, 2, 4, 8, 0}})));
        for (DoorCfg& d : cfg.doors) {
            std::fill(d.bytes.begin(), d.bytes.begin() + 40, 0xFF);
        }
    }

    BusDevSet devs;
    DoorConfig cfg{devs};
};

TEST_F(DoorFixture, SensorFollowsTheLocksDevice)
{
    const ResId sensor = MakeRes(1, 2);
    cfg.AssignOutput(0, 0, MakeRes(1, 1), false);
    cfg.AssignInput(0, 1, sensor, false);
    EXPECT_EQ(devs.records[1].usedIn, 1u << 2);

    cfg.AssignOutput(0, 0, MakeRes(1, 2), false);   // same device: the sensor stays
    EXPECT_EQ(cfg.doors[0].Input(1), sensor);
    EXPECT_EQ(devs.records[1].usedOut, 1u << 2);

    cfg.AssignOutput(0, 0, MakeRes(2, 0), false);   // another device: the sensor goes
    EXPECT_EQ(cfg.doors[0].Input(1), kNoRes);
    EXPECT_EQ(devs.records[1].usedIn, 0u);
    EXPECT_EQ(devs.records[1].usedOut, 0u);
    EXPECT_EQ(devs.records[2].usedOut, 1u);

    cfg.AssignInput(0, 1, MakeRes(2, 4), false);
    cfg.AssignOutput(0, 0, kNoRes, false);          // lock cleared: the sensor goes
    EXPECT_EQ(cfg.doors[0].Input(1), kNoRes);
    EXPECT_EQ(devs.records[2].usedIn, 0u);
    EXPECT_EQ(devs.records[2].usedOut, 0u);

    // Only the lock slot ties the sensor.
    cfg.AssignOutput(0, 0, MakeRes(2, 0), false);
    cfg.AssignInput(0, 1, MakeRes(2, 4), false);
    cfg.AssignOutput(0, 2, MakeRes(1, 0), false);
    cfg.AssignOutput(0, 2, kNoRes, false);
    EXPECT_EQ(cfg.doors[0].Input(1), MakeRes(2, 4));
}

TEST_F(DoorFixture, NcFlagOnOutputsOnlyWhereOpenCollector)
{
    cfg.AssignOutput(0, 1, MakeRes(1, 3), true);   // relays: stored as the picker gave it
    EXPECT_EQ(cfg.doors[0].Output(1), MakeRes(1, 3));
    cfg.AssignOutput(0, 2, MakeRes(4, 1), true);   // open-collector: NC as asked
    EXPECT_EQ(cfg.doors[0].Output(2), WithNc(MakeRes(4, 1), true));
    cfg.AssignOutput(0, 2, WithNc(MakeRes(4, 1), true), false);
    EXPECT_EQ(cfg.doors[0].Output(2), MakeRes(4, 1));
    cfg.AssignOutput(0, 3, MakeRes(0, 7), true);   // the controller has open-collector outputs
    EXPECT_EQ(cfg.doors[0].Output(3), WithNc(MakeRes(0, 7), true));
    // An identifier naming no device record is never taken for open-collector; it is stored as is.
    cfg.AssignOutput(0, 4, 0x7001, true);
    EXPECT_EQ(cfg.doors[0].Output(4), 0x7001);
    cfg.AssignOutput(0, 4, 0x7081, false);
    EXPECT_EQ(cfg.doors[0].Output(4), 0x7081);

    // Every input may be NC.
    cfg.AssignInput(0, 3, MakeRes(1, 5), true);
    EXPECT_EQ(cfg.doors[0].Input(3), WithNc(MakeRes(1, 5), true));
    cfg.AssignInput(0, 3, kNoRes, true);
    EXPECT_EQ(cfg.doors[0].Input(3), kNoRes);
}

TEST_F(DoorFixture, SetNcTouchesOnlyAssignedSlots)
{
    const DoorCfg before = cfg.doors[0];
    cfg.SetOutputNc(0, 1, true);   // empty slot
    cfg.SetInputNc(0, 9, true);
    EXPECT_EQ(cfg.doors[0], before);

    cfg.AssignOutput(0, 1, MakeRes(1, 3), false);
    cfg.SetOutputNc(0, 1, true);   // no open-collector test here: the page decides
    EXPECT_EQ(cfg.doors[0].Output(1), WithNc(MakeRes(1, 3), true));
    cfg.SetOutputNc(0, 1, false);
    EXPECT_EQ(cfg.doors[0].Output(1), MakeRes(1, 3));
    cfg.AssignInput(0, 9, MakeRes(2, 7), false);
    cfg.SetInputNc(0, 9, true);
    EXPECT_EQ(cfg.doors[0].Input(9), WithNc(MakeRes(2, 7), true));
    EXPECT_EQ(devs.records[2].usedIn, 1u << 7);
}

TEST_F(DoorFixture, IndexesOutsideTheTablesDoNothing)
{
    const BusDevSet devsBefore = devs;
    const auto doorsBefore = cfg.doors;
    for (int door : {-1, 8, 100}) {
        cfg.AssignOutput(door, 0, MakeRes(1, 1), true);
        cfg.AssignInput(door, 0, MakeRes(1, 1), true);
        cfg.AssignReader(door, 0, MakeRes(3, 0));
        cfg.SetOutputNc(door, 0, true);
        cfg.SetExitReader(door, 0, true);
        cfg.SetAirlock(door, 1);
        cfg.SetDoorName(door, "x");
        cfg.SetType(door, 3);
        cfg.SetHandle(door, true);
        cfg.SetFullPulse(door, true);
        cfg.SetLockTime(door, 9);
        cfg.SetOpenTime(door, 9);
        EXPECT_EQ(cfg.Airlock(door), -1);
        EXPECT_EQ(cfg.DoorName(door), "");
    }
    for (int slot : {-1, 6, 10}) {
        cfg.AssignOutput(0, slot, MakeRes(1, 1), false);
        cfg.AssignInput(0, slot == 6 ? 10 : slot, MakeRes(1, 1), false);
        cfg.AssignReader(0, slot == 6 ? 4 : slot, MakeRes(3, 0));
        cfg.SetExitReader(0, slot == 6 ? 4 : slot, true);
    }
    EXPECT_EQ(cfg.doors, doorsBefore);
    EXPECT_EQ(devs.records, devsBefore.records);
}

TEST_F(DoorFixture, ParameterFields)
{
    DoorCfg& d = cfg.doors[1];
    d.Param(0) = 0xA7;
    d.Param(2) = 0xC0;
    cfg.SetType(1, 4);
    EXPECT_EQ(d.Param(0), 0xA4);
    EXPECT_EQ(d.Type(), 4);

    cfg.SetAirlock(1, 2);
    EXPECT_EQ(d.Param(2), 0xC6);
    EXPECT_EQ(cfg.Airlock(1), 2);
    cfg.SetAirlock(1, -1);
    EXPECT_EQ(d.Param(2), 0xC2);
    EXPECT_EQ(cfg.Airlock(1), -1);
    cfg.SetAirlock(1, 0);
    EXPECT_EQ(d.Param(2), 0xC4);
    EXPECT_EQ(cfg.Airlock(1), 0);
    cfg.SetAirlock(1, 4);   // not an airlock number: membership ends
    EXPECT_EQ(d.Param(2), 0xC0);

    cfg.SetHandle(1, false);
    cfg.SetFullPulse(1, true);
    EXPECT_EQ(d.Param(2), 0x80);
    EXPECT_FALSE(d.Handle());
    EXPECT_TRUE(d.FullPulse());

    const DoorCfg before = d;
    cfg.SetExitReader(1, 3, true);
    DoorCfg expected = before;
    expected.Param(44) |= 1;
    EXPECT_EQ(d, expected);
    EXPECT_TRUE(d.ExitReader(3));
    EXPECT_FALSE(d.ExitReader(2));
    d.Param(44) = 0xFF;
    cfg.SetExitReader(1, 3, false);
    EXPECT_EQ(d.Param(44), 0xFE);

    cfg.SetLockTime(1, 5);
    cfg.SetOpenTime(1, 200);
    EXPECT_EQ(d.LockTime(), 5);
    EXPECT_EQ(d.OpenTime(), 127);
}

TEST_F(DoorFixture, Names)
{
    cfg.SetDoorName(2, "Brama g\xB3\xF3wna 12");   // "Brama główna 12", 15 bytes
    EXPECT_EQ(cfg.DoorName(2), Cp1250("Brama główna 12"));
    EXPECT_EQ(cfg.doors[2].Param(63), 0);

    cfg.SetDoorName(2, "0123456789ABCDEFGH");
    EXPECT_EQ(cfg.DoorName(2), "0123456789ABCDE");
    cfg.SetDoorName(2, "Biuro");
    const std::array<uint8_t, 16> expected = {'B', 'i', 'u', 'r', 'o'};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), cfg.doors[2].bytes.begin() + 88));
    cfg.SetDoorName(2, std::string("ab\0cd", 5));
    EXPECT_EQ(cfg.DoorName(2), "ab");
    EXPECT_EQ(cfg.doors[2].Param(51), 0);

    // A name field from the controller without a NUL reads as its first 15 bytes.
    std::fill(cfg.doors[3].bytes.begin() + 88, cfg.doors[3].bytes.end(), 'x');
    EXPECT_EQ(cfg.DoorName(3), std::string(15, 'x'));
}

TEST(Times, Text)
{
    struct Case {
        int value;
        const char* text;
    };
    for (const Case c : {Case{0, "0"}, Case{1, "0,5"}, Case{4, "2"}, Case{5, "2,5"}, Case{127, "63,5"},
                         Case{255, "127,5"}}) {
        EXPECT_EQ(TimeText(c.value), c.text);
    }
}

TEST(Times, Parse)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        {"2,5", 5}, {"2,4", 4}, {"2,49", 4}, {"2,9", 5}, {"2", 4}, {"2.5", 4}, {"64", 127},
        {"63,5", 127}, {"-3", 0}, {"", 0}, {"abc", 0}, {",5", 0}, {" 7,5", 15}, {"+3", 6},
        {"3, 5", 7}, {"3,-5", 6}, {"3,x", 6}, {"-0,5", 1}, {"0,5", 1},
        {"99999999999999999999", 127}, {"-99999999999999999999", 0}, {"12abc", 24},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseTime(c.text), c.value) << c.text;
}

// Any sequence of edits, including ones no picker would offer (a resource held twice, an
// identifier outside the table, a door beyond the door count), leaves the maps what RebuildMaps
// builds from the records after a decode has cleared them.
TEST(DoorMaps, RandomEditsKeepMapsEqualToRebuild)
{
    std::vector<Rec> recs;
    recs.push_back({Id(kControllerType, 42), 3, 0, 4, 8, 6, 2});
    for (uint32_t i = 1; i < 12; ++i) recs.push_back({Id(kModuleType, i), 1, 0, 6, static_cast<uint8_t>(i % 2 ? 4 : 0), 8, 3});
    const std::vector<uint8_t> list = ListBlock(0x16, recs);

    std::mt19937 rng(2024);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int run = 0; run < 40; ++run) {
        BusDevSet devs;
        ASSERT_TRUE(devs.Decode(list));
        DoorConfig cfg(devs);
        for (DoorCfg& d : cfg.doors) std::fill(d.bytes.begin(), d.bytes.begin() + 40, 0xFF);
        ResList free;
        for (int step = 0; step < 300; ++step) {
            const int door = pick(8);   // doors 6 and 7 lie beyond the door count
            const auto id = [&](ResKind kind) -> ResId {
                switch (pick(4)) {
                case 0: return kNoRes;
                case 1: return static_cast<ResId>(rng());   // anything, held or not, in the table or not
                case 2: return MakeRes(pick(12), pick(8));  // often a resource already held
                default:
                    devs.FreeList(kind, free);
                    return free.count > 0 ? free[pick(free.count)] : kNoRes;
                }
            };
            switch (pick(6)) {
            case 0: cfg.AssignOutput(door, pick(6), id(ResKind::Output), pick(2) == 1); break;
            case 1: cfg.AssignInput(door, pick(10), id(ResKind::Input), pick(2) == 1); break;
            case 2: cfg.AssignReader(door, pick(4), id(ResKind::Reader)); break;
            case 3: cfg.SetOutputNc(door, pick(6), pick(2) == 1); break;
            case 4: cfg.SetInputNc(door, pick(10), pick(2) == 1); break;
            default: cfg.AssignOutput(door, 0, id(ResKind::Output), false); break;
            }
            BusDevSet rebuilt = devs;
            rebuilt.ClearMaps();
            DoorConfig again(rebuilt);
            again.doors = cfg.doors;
            again.RebuildMaps();
            ASSERT_EQ(devs.records, rebuilt.records) << "run " << run << " step " << step;
        }
    }
}

}  // namespace
