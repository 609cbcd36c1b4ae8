// The lift record: block codec, output sets and the maps.
#include <gtest/gtest.h>

#include <random>

#include "model/ctrlcfg.h"
#include "tests/model/listblock.h"

namespace {

std::vector<uint8_t> LiftBlock(std::mt19937& rng, int timeLimit)
{
    std::vector<uint8_t> b(112);
    for (uint8_t& x : b) x = static_cast<uint8_t>(rng());
    b[0] = 2, b[1] = 0x88, b[2] = 8, b[3] = 4;
    for (std::size_t i = 52; i < 56; ++i) b[i] = static_cast<uint8_t>(b[i] % (timeLimit + 1));
    return b;
}

TEST(LiftCodec, HeaderLengthAndRoundTrip)
{
    std::mt19937 rng(11);
    std::vector<uint8_t> block = LiftBlock(rng, 127);
    LiftCfg lift;
    for (const std::array<uint8_t, 4> bad : {std::array<uint8_t, 4>{2, 8, 8, 4}, {1, 6, 10, 4}, {2, 0x88, 8, 3}}) {
        std::vector<uint8_t> b = block;
        std::copy(bad.begin(), bad.end(), b.begin());
        EXPECT_FALSE(DecodeLift(b, lift));
    }
    const std::vector<uint8_t> cut(block.begin(), block.end() - 1);
    EXPECT_FALSE(DecodeLift(cut, lift));
    EXPECT_EQ(lift, LiftCfg{});

    for (int n = 0; n < 300; ++n) {
        block = LiftBlock(rng, 127);
        ASSERT_TRUE(DecodeLift(block, lift));
        std::vector<uint8_t> out(104);
        ASSERT_EQ(EncodeLift(lift, out.data()), 104u);
        ASSERT_EQ(out, std::vector<uint8_t>(block.begin() + 8, block.end()));
    }
}

TEST(LiftCodec, UnlockTimeLimited)
{
    std::mt19937 rng(12);
    std::vector<uint8_t> block = LiftBlock(rng, 255);
    block[52] = 255, block[53] = 200, block[54] = 128, block[55] = 127, block[56] = 255;
    LiftCfg lift;
    ASSERT_TRUE(DecodeLift(block, lift));
    EXPECT_EQ(lift.UnlockTime(), 127);
    EXPECT_EQ(TimeText(lift.UnlockTime()), "63,5");
    EXPECT_EQ(lift.Param(5), 127);
    EXPECT_EQ(lift.Param(6), 127);
    EXPECT_EQ(lift.Param(7), 127);
    EXPECT_EQ(lift.Param(8), 255);
}

struct LiftFixture : ::testing::Test {
    void SetUp() override
    {
        std::vector<Rec> recs = {{Id(kControllerType, 9), 1, 0, 2, 0, 8, 2}};
        for (uint32_t i = 1; i < 8; ++i) recs.push_back({Id(kModuleType, i), 1, 0, 0x83, 0, 8, 1});
        ASSERT_TRUE(devs.Decode(ListBlock(0x21, recs)));
        std::fill(cfg.lift.bytes.begin(), cfg.lift.bytes.begin() + 40, 0xFF);
    }

    BusDevSet devs;
    LiftConfig cfg{devs};
};

TEST_F(LiftFixture, OutputSetsAreMarkedAndNoLongerOffered)
{
    ResList free;
    ASSERT_EQ(devs.FreeList(ResKind::OutputSet, free), 21);
    cfg.AssignSet(3, MakeRes(5, 2));
    EXPECT_EQ(cfg.lift.OutputSet(3), MakeRes(5, 2));
    EXPECT_EQ(devs.records[5].usedSet, 1u << 2);
    ASSERT_EQ(devs.FreeList(ResKind::OutputSet, free), 20);
    for (int i = 0; i < free.count; ++i) EXPECT_NE(free[i], MakeRes(5, 2));
    EXPECT_EQ(devs.OutSetName(cfg.lift.OutputSet(3)), "D102_00005");

    cfg.AssignSet(3, MakeRes(6, 0));
    EXPECT_EQ(devs.records[5].usedSet, 0u);
    EXPECT_EQ(devs.records[6].usedSet, 1u);
    cfg.AssignSet(8, MakeRes(7, 0));   // no such slot
    EXPECT_EQ(devs.records[7].usedSet, 0u);
}

TEST_F(LiftFixture, InputsReadersAndName)
{
    cfg.AssignInput(6, MakeRes(0, 3), true);
    EXPECT_EQ(cfg.lift.Input(6), WithNc(MakeRes(0, 3), true));
    EXPECT_EQ(devs.records[0].usedIn, 1u << 3);
    cfg.SetInputNc(6, false);
    EXPECT_EQ(cfg.lift.Input(6), MakeRes(0, 3));
    cfg.SetInputNc(5, true);   // empty slot
    EXPECT_EQ(cfg.lift.Input(5), kNoRes);
    cfg.AssignReader(2, MakeRes(0, 1));
    EXPECT_EQ(cfg.lift.Reader(2), MakeRes(0, 1));
    EXPECT_EQ(devs.records[0].usedRd, 2u);

    cfg.SetLiftName("Winda towarowa 2 B");
    EXPECT_EQ(cfg.LiftName(), "Winda towarowa ");
    EXPECT_EQ(cfg.lift.Param(63), 0);
    cfg.SetUnlockTime(150);
    EXPECT_EQ(cfg.lift.UnlockTime(), 127);
}

TEST_F(LiftFixture, HiddenInputSlotsStayMarkedAndUnchanged)
{
    std::mt19937 rng(13);
    std::vector<uint8_t> block = LiftBlock(rng, 127);
    // Input slots 0-2 (block offsets 24-29) hold inputs 1, 2, 3 of the controller, slot 2 NC.
    const std::array<uint8_t, 6> hidden = {0x01, 0x00, 0x02, 0x00, 0x83, 0x00};
    std::copy(hidden.begin(), hidden.end(), block.begin() + 24);
    std::fill(block.begin() + 30, block.begin() + 48, 0xFF);
    std::fill(block.begin() + 8, block.begin() + 24, 0xFF);
    ASSERT_TRUE(DecodeLift(block, cfg.lift));
    cfg.RebuildMaps();
    EXPECT_EQ(devs.records[0].usedIn, 0b1110u);

    cfg.AssignInput(3, MakeRes(0, 5), false);
    cfg.AssignInput(7, MakeRes(0, 6), true);
    cfg.AssignInput(7, kNoRes, false);
    EXPECT_EQ(devs.records[0].usedIn, 0b101110u);
    std::vector<uint8_t> out(104);
    EncodeLift(cfg.lift, out.data());
    EXPECT_TRUE(std::equal(hidden.begin(), hidden.end(), out.begin() + 16));
}

TEST_F(LiftFixture, RandomEditsKeepMapsEqualToRebuild)
{
    std::mt19937 rng(99);
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    for (int step = 0; step < 2000; ++step) {
        const ResId any = pick(3) == 0 ? kNoRes : (pick(2) == 0 ? static_cast<ResId>(rng()) : MakeRes(pick(8), pick(6)));
        switch (pick(4)) {
        case 0: cfg.AssignSet(pick(9), any); break;
        case 1: cfg.AssignInput(pick(9), any, pick(2) == 1); break;
        case 2: cfg.AssignReader(pick(5), any); break;
        default: cfg.SetInputNc(pick(8), pick(2) == 1); break;
        }
        BusDevSet rebuilt = devs;
        rebuilt.ClearMaps();
        LiftConfig again(rebuilt);
        again.lift = cfg.lift;
        again.RebuildMaps();
        ASSERT_EQ(devs.records, rebuilt.records) << "step " << step;
    }
}

}  // namespace
