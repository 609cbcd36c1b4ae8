// Resource identifiers, the assignment maps, the free lists and the resource names.
#include <gtest/gtest.h>

#include "model/ctrlcfg.h"
#include "tests/model/listblock.h"

namespace {

// 108 devices: the controller in slot 0 and modules after it, each with 31 outputs, 31 inputs,
// 3 reader ports; slot 5 has output sets instead of outputs.
BusDevSet FullInventory()
{
    std::vector<Rec> recs;
    recs.push_back({Id(kControllerType, 42), 3, 0, 4, 8, 6, 2});
    for (uint32_t i = 1; i < 108; ++i) recs.push_back({Id(kModuleType, i), 1, 0, 31, 0, 31, 3});
    recs[5].outDesc = 0x83;
    BusDevSet devs;
    EXPECT_TRUE(devs.Decode(ListBlock(0x11, recs)));
    return devs;
}

TEST(Resources, MarkAndUnmarkTheRightBit)
{
    BusDevSet devs = FullInventory();
    devs.Mark(ResKind::Output, MakeRes(107, 31));
    EXPECT_EQ(devs.records[107].usedOut, 0x80000000u);
    devs.Mark(ResKind::Input, WithNc(MakeRes(3, 5), true));   // the NC flag takes no part
    EXPECT_EQ(devs.records[3].usedIn, 1u << 5);
    devs.Mark(ResKind::Reader, MakeRes(4, 2));
    devs.Mark(ResKind::Reader, MakeRes(6, 5));            // number 5 sits on bit 1
    EXPECT_EQ(devs.records[4].usedRd, 1u << 2);
    EXPECT_EQ(devs.records[6].usedRd, 1u << 1);
    devs.Mark(ResKind::OutputSet, MakeRes(5, 2));
    EXPECT_EQ(devs.records[5].usedSet, 1u << 2);
    // Bits 5 and 6 are not part of the number.
    devs.Mark(ResKind::Output, static_cast<ResId>(MakeRes(8, 3) | 0x60));
    EXPECT_EQ(devs.records[8].usedOut, 1u << 3);

    devs.Unmark(ResKind::Input, MakeRes(3, 5));
    devs.Unmark(ResKind::Output, WithNc(MakeRes(107, 31), true));
    EXPECT_EQ(devs.records[3].usedIn, 0u);
    EXPECT_EQ(devs.records[107].usedOut, 0u);
    EXPECT_EQ(devs.records[5].usedSet, 1u << 2);
}

TEST(Resources, IdentifiersOutsideTheTableTouchNothing)
{
    BusDevSet devs = FullInventory();
    devs.Mark(ResKind::Output, MakeRes(0, 1));
    const auto before = devs.records;
    for (ResId id : {ResId{0x6C00}, ResId{0x6C1F}, ResId{0x7F05}, ResId{0xEB00}, kNoRes}) {
        for (ResKind kind : {ResKind::Output, ResKind::Input, ResKind::Reader, ResKind::OutputSet}) {
            devs.Mark(kind, id);
            devs.Unmark(kind, MakeRes(0, 1) == id ? kNoRes : id);
        }
        EXPECT_EQ(devs.DeviceOf(id), nullptr) << id;
    }
    EXPECT_EQ(devs.records, before);
    EXPECT_EQ(devs.DeviceOf(0x6BFF), &devs.records[107]);
}

TEST(Resources, FreeListFollowsDisplayOrderAndSkipsMarked)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {{Id(kModuleType, 9), 1, 0, 2, 0, 0, 3},
                                             {Id(kControllerType, 1), 1, 0, 4, 0, 2, 1},
                                             {0xFFFF0000u, 1, 0, 4, 0, 4, 3},
                                             {Id(kReaderType, 1), 1, 0, 0, 0, 0, 3},
                                             {Id(kModuleType, 1), 1, 0, 0x82, 0, 0, 0}})));
    // The list goes by display order: slot 1 (controller) first, then 3, 4, 0.
    devs.Mark(ResKind::Output, MakeRes(1, 0));
    devs.Mark(ResKind::Output, MakeRes(1, 2));
    ResList out;
    ASSERT_EQ(devs.FreeList(ResKind::Output, out), 4);
    EXPECT_EQ(std::vector<uint16_t>(out.items.begin(), out.items.begin() + out.count),
              (std::vector<uint16_t>{MakeRes(1, 1), MakeRes(1, 3), MakeRes(0, 0), MakeRes(0, 1)}));

    devs.Mark(ResKind::Reader, MakeRes(3, 1));
    ASSERT_EQ(devs.FreeList(ResKind::Reader, out), 6);
    EXPECT_EQ(out[0], MakeRes(1, 0));
    EXPECT_EQ(out[1], MakeRes(3, 0));
    EXPECT_EQ(out[2], MakeRes(3, 2));
    EXPECT_EQ(out[3], MakeRes(0, 0));

    ASSERT_EQ(devs.FreeList(ResKind::OutputSet, out), 2);
    EXPECT_EQ(out[0], MakeRes(4, 0));
    EXPECT_EQ(out[1], MakeRes(4, 1));
    ASSERT_EQ(devs.FreeList(ResKind::Input, out), 2);
}

TEST(Resources, FreeListStopsAt2560)
{
    const BusDevSet devs = FullInventory();
    ResList out;
    EXPECT_EQ(devs.FreeList(ResKind::Output, out), 2560);
    EXPECT_EQ(out.count, 2560);
    // The controller's 8, slots 1-4 with 31 each, slot 5 with none (output sets), slots 6-83
    // with 31 each: 2550 in all, so the list ends with output 9 of slot 84.
    EXPECT_EQ(out[2549], MakeRes(83, 30));
    EXPECT_EQ(out[2559], MakeRes(84, 9));
}

TEST(Resources, Names)
{
    const BusDevSet devs = FullInventory();
    struct Case {
        ResId id;
        const char* prefix;
        const char* text;
    };
    const Case cases[] = {
        {kNoRes, "Out", "     ---      "},
        {kNoRes, "In", "     ---     "},
        {kNoRes, "Rd", "     ---     "},
        {MakeRes(0, 0), "Out", "K105_00042:Out1"},
        {MakeRes(0, 5), "In", "K105_00042:In6"},
        {WithNc(MakeRes(0, 5), true), "In", "K105_00042:In6"},
        {MakeRes(107, 2), "Rd", "D102_00107:Rd3"},
        {0x6C00, "Out", "?108:Out1"},
        {0xFF1F, "In", "?255:In32"},
    };
    for (const Case& c : cases) EXPECT_EQ(devs.ResName(c.id, c.prefix), c.text) << c.id;
    EXPECT_EQ(devs.OutSetName(kNoRes), "     ---  ");
    EXPECT_EQ(devs.OutSetName(MakeRes(5, 2)), "D102_00005");
    EXPECT_EQ(devs.OutSetName(MakeRes(5, 3)), "D102_00005");
    EXPECT_EQ(devs.OutSetName(0x9002), "?144");
}

}  // namespace
