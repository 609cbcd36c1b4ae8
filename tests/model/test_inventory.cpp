// The bus device inventory: decoding the device list block, display order, change detection and
// the texts of the device panel.
#include <gtest/gtest.h>

#include "model/ctrlcfg.h"
#include "tests/common/cp1250.h"
#include "tests/model/listblock.h"

namespace {

const Rec kController = {Id(kControllerType, 42), 3, 0, 4, 8, 6, 2};
const Rec kReader7 = {Id(kReaderType, 7), 1, 0, 1, 0, 1, 1};
const Rec kReader19 = {Id(kReaderType, 19), 1, 0, 1, 0, 1, 1};
const Rec kModule = {Id(kModuleType, 1234), 2, 0, 8, 0, 8, 0};

std::vector<int> Order(const BusDevSet& devs)
{
    return {devs.order.begin(), devs.order.begin() + devs.presentCount};
}

TEST(Inventory, DecodesRecordsInBlockOrder)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x14, {kController, kModule, kReader19})));
    EXPECT_EQ(devs.recordCount, 3);
    EXPECT_EQ(devs.presentCount, 3);
    EXPECT_EQ(devs.kind, 1);
    EXPECT_EQ(devs.doorCount, 4);
    const BusDev& k = devs.records[0];
    EXPECT_EQ(k.id, Id(kControllerType, 42));
    EXPECT_EQ(k.info, 3);
    EXPECT_EQ(k.inCount, 6);
    EXPECT_EQ(k.rdCount, 2);
    EXPECT_EQ(devs.records[1].id, Id(kModuleType, 1234));
    EXPECT_EQ(devs.records[1].outCount, 8);
    EXPECT_FALSE(devs.records[1].hasOc);
}

TEST(Inventory, RecordCountLimit)
{
    std::vector<Rec> recs(108, kReader7);
    for (std::size_t i = 0; i < recs.size(); ++i) recs[i].id = Id(kReaderType, static_cast<uint32_t>(i));
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, recs)));
    EXPECT_EQ(devs.recordCount, 108);

    // 109 records are rejected before anything else is read: the previous list stays on show.
    recs.push_back(kModule);
    const BusDevSet before = devs;
    EXPECT_FALSE(devs.Decode(ListBlock(0x21, recs)));
    EXPECT_EQ(devs.recordCount, 0);
    EXPECT_EQ(devs.presentCount, 108);
    EXPECT_EQ(devs.kind, 1);
    EXPECT_EQ(devs.doorCount, 1);
    EXPECT_EQ(devs.records, before.records);
}

TEST(Inventory, KindAndDoorCountCombinations)
{
    struct Case {
        uint8_t header;
        bool accepted;
    };
    for (const Case c : {Case{0x10, false}, Case{0x19, false}, Case{0x22, false}, Case{0x30, false},
                         Case{0x01, false}, Case{0x11, true}, Case{0x18, true}, Case{0x21, true}}) {
        SCOPED_TRACE(c.header);
        BusDevSet devs;
        ASSERT_TRUE(devs.Decode(ListBlock(0x13, {kController, kReader7})));
        EXPECT_EQ(devs.Decode(ListBlock(c.header, {kModule})), c.accepted);
        EXPECT_EQ(devs.kind, c.header >> 4);
        if (c.accepted) {
            EXPECT_EQ(devs.recordCount, 1);
            EXPECT_EQ(devs.doorCount, c.header & 15);
            EXPECT_EQ(Order(devs), std::vector<int>{0});
        } else {
            // The list last accepted stays for the panel; nothing of the rejected block is taken.
            EXPECT_EQ(devs.recordCount, 0);
            EXPECT_EQ(devs.doorCount, 0);
            EXPECT_EQ(Order(devs), (std::vector<int>{0, 1}));
            EXPECT_EQ(devs.records[0].id, kController.id);
        }
    }
}

TEST(Inventory, ShortBlocksAreRejectedWithoutReadingPastThem)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x12, {kController, kReader7, kModule})));
    const BusDevSet before = devs;
    const std::vector<uint8_t> full = ListBlock(0x12, {kReader19, kReader19, kReader19});
    // Each prefix is an exactly sized copy, so a read past it shows up under AddressSanitizer.
    for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{6},
                               std::size_t{17}, full.size() - 1}) {
        SCOPED_TRACE(length);
        const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        devs = before;
        EXPECT_TRUE(devs.IsChanged(cut));
        EXPECT_FALSE(devs.Decode(cut));
        EXPECT_EQ(devs.recordCount, 0);
        EXPECT_EQ(devs.doorCount, 2);
        EXPECT_EQ(devs.presentCount, 3);
        EXPECT_EQ(devs.records, before.records);
    }
    // A count of 0 needs the 6-byte header only; extra bytes after the records are ignored.
    EXPECT_TRUE(devs.Decode(ListBlock(0x11, {}, 0)));
    std::vector<uint8_t> longer = ListBlock(0x11, {kModule});
    longer.insert(longer.end(), 30, 0xEE);
    EXPECT_TRUE(devs.Decode(longer));
    EXPECT_EQ(devs.recordCount, 1);
}

TEST(Inventory, OutputDescriptor)
{
    struct Case {
        uint8_t outDesc, oc, in, rd;
        int outCount, setCount, inCount, rdCount;
        bool hasOc;
    };
    const Case cases[] = {
        {0x82, 0x05, 0, 0, 0, 2, 0, 0, true},     // output sets whatever byte 7 holds
        {0x04, 0x08, 0, 0, 8, 0, 0, 0, true},     // open-collector outputs take the count
        {0x04, 0x00, 0, 0, 4, 0, 0, 0, false},
        {0x7F, 0x00, 0xFF, 0xFF, 31, 0, 31, 3, false},
        {0x87, 0x00, 0xE3, 0x06, 0, 3, 3, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outDesc);
        BusDevSet devs;
        ASSERT_TRUE(devs.Decode(ListBlock(0x11, {{Id(kModuleType, 1), 1, 0, c.outDesc, c.oc, c.in, c.rd}})));
        const BusDev& d = devs.records[0];
        EXPECT_EQ(d.outCount, c.outCount);
        EXPECT_EQ(d.setCount, c.setCount);
        EXPECT_EQ(d.inCount, c.inCount);
        EXPECT_EQ(d.rdCount, c.rdCount);
        EXPECT_EQ(d.hasOc, c.hasOc);
    }
}

TEST(Inventory, AbsentRecordsKeepTheirSlots)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kController, {0xFFFF1234u}, {0xFFFF0000u}, kReader7})));
    EXPECT_EQ(devs.recordCount, 4);
    EXPECT_EQ(devs.presentCount, 2);
    EXPECT_EQ(Order(devs), (std::vector<int>{0, 3}));
    EXPECT_EQ(devs.records[3].id, kReader7.id);
}

TEST(Inventory, DisplayOrder)
{
    BusDevSet devs;
    // The controller reports itself first and stays there although its key is the largest; the
    // rest follow by type code, then serial number.
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kController, kModule, kReader19, kReader7})));
    EXPECT_EQ(Order(devs), (std::vector<int>{0, 3, 2, 1}));

    // Equal keys (they differ only in the suffix letter) keep their block order.
    const Rec b = {Id(kReaderType, 5, 1)};
    const Rec a = {Id(kReaderType, 5, 0)};
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kModule, b, kReader19, a})));
    EXPECT_EQ(Order(devs), (std::vector<int>{1, 3, 2, 0}));

    // A controller never moves towards the end: a device before it that sorts after it is
    // still exchanged with it.
    const Rec keypad = {Id(kKeypadType, 1)};
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {keypad, kController, kReader7})));
    EXPECT_EQ(Order(devs), (std::vector<int>{1, 2, 0}));
}

TEST(Inventory, DecodeClearsEveryMap)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kController, kReader7, kModule})));
    devs.Mark(ResKind::Output, MakeRes(0, 1));
    devs.Mark(ResKind::Input, MakeRes(2, 3));
    devs.Mark(ResKind::Reader, MakeRes(1, 0));
    devs.Mark(ResKind::OutputSet, MakeRes(2, 1));
    devs.Mark(ResKind::Output, MakeRes(2, 0));
    // A slot beyond the new count keeps its device but not its marks.
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kController, kReader7})));
    for (const BusDev& d : devs.records) {
        EXPECT_EQ(d.usedOut | d.usedIn | d.usedRd | d.usedSet, 0u);
    }
    EXPECT_EQ(devs.records[2].id, kModule.id);
}

TEST(Inventory, IsChanged)
{
    BusDevSet devs;
    const std::vector<Rec> recs = {kController, {0xFFFF0001u}, kReader7};
    ASSERT_TRUE(devs.Decode(ListBlock(0x12, recs)));
    struct Case {
        const char* what;
        std::vector<uint8_t> block;
        bool changed;
    };
    std::vector<Rec> statusLow = recs, statusHigh = recs, otherId = recs, otherAbsent = recs;
    statusLow[2].status = 0x0F;
    statusHigh[2].status = 0x10;
    otherId[2].id = Id(kReaderType, 8);
    otherAbsent[1].id = 0xFFFF0002u;
    std::vector<Rec> otherInfo = recs;
    otherInfo[0].info = 9;
    otherInfo[0].in = 1;
    const Case cases[] = {
        {"same block", ListBlock(0x12, recs), false},
        {"kind and door count byte", ListBlock(0x21, recs), false},
        {"info and counts", ListBlock(0x12, otherInfo), false},
        {"status bits 0-3", ListBlock(0x12, statusLow), false},
        {"status bit 4", ListBlock(0x12, statusHigh), true},
        {"identifier", ListBlock(0x12, otherId), true},
        {"identifier of an absent record", ListBlock(0x12, otherAbsent), true},
        {"record count", ListBlock(0x12, {kController, {0xFFFF0001u}}), true},
    };
    for (const Case& c : cases) EXPECT_EQ(devs.IsChanged(c.block), c.changed) << c.what;
}

TEST(Inventory, ClearKeepsKind)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x21, {kController})));
    devs.Clear();
    EXPECT_EQ(devs.recordCount, 0);
    EXPECT_EQ(devs.presentCount, 0);
    EXPECT_EQ(devs.doorCount, 0);
    EXPECT_EQ(devs.kind, 2);
    EXPECT_TRUE(devs.IsChanged(ListBlock(0x21, {kController})));
}

TEST(Inventory, LabelsAndLines)
{
    BusDevSet devs;
    BusDev k;
    k.id = Id(kControllerType, 42);
    k.info = 3;
    EXPECT_EQ(devs.DevLabel(k), "K105_00042/A3");
    EXPECT_EQ(devs.DevLine(k), " Kontroler: K105_00042/A3");

    BusDev r;
    r.id = Id(kReaderType, 7, 3);
    r.info = 201;
    EXPECT_EQ(devs.DevLabel(r), "R107_00007/D201");

    struct Case {
        uint8_t status;
        const char* suffix;
    };
    for (const Case c : {Case{0x00, ""}, Case{0x0F, ""}, Case{0xC0, ",   (nieaktywny)"},
                         Case{0xF0, ",   (nieaktywny)"}, Case{0x70, ",   (zasilanie!)"},
                         Case{0x30, ",   (sabotaż)"}, Case{0x10, ",   (nowy)"}}) {
        r.id = Id(kReaderType, 7);
        r.info = 1;
        r.status = c.status;
        EXPECT_EQ(devs.DevLine(r), Cp1250(std::string("    Czytnik: R107_00007/A1") + c.suffix)) << int(c.status);
    }
    BusDev m;
    m.id = Id(kModuleType, 1234);
    m.info = 2;
    EXPECT_EQ(devs.DevLine(m), Cp1250("      Moduł: D102_01234/A2"));
    m.id = Id(950, 1);
    EXPECT_EQ(devs.DevLine(m), "Nieznany typ: ?150_00001/A2");
}

TEST(Inventory, LineOfEveryTypeCategory)
{
    // The category's letter in the device name and its type name, leading blanks included.
    struct Case {
        uint32_t typeCode;
        const char* line;   // UTF-8
    };
    const Case cases[] = {
        {7, "    Czytnik: R107_00001/A1"},     {112, "  Terminal: T112_00001/A1"},
        {204, "      Zamek: Z104_00001/A1"},   {305, " Kontroler: K105_00001/A1"},
        {401, "Ctr: C101_00001/A1"},           {512, " Klawiatura: K112_00001/A1"},
        {620, " Interfejs: F120_00001/A1"},    {712, "      Moduł: D112_00001/A1"},
        {850, "Nieznany typ: ?150_00001/A1"},  {999, "Nieznany typ: ?199_00001/A1"},
        {1023, "Nieznany typ: ?123_00001/A1"},
    };
    BusDevSet devs;
    for (const Case& c : cases) {
        BusDev d;
        d.id = Id(c.typeCode, 1);
        d.info = 1;
        EXPECT_EQ(devs.DevLine(d), Cp1250(c.line)) << c.typeCode;
    }
}

TEST(Inventory, InactiveDevicesAndReplacementPairs)
{
    Rec lost = kReader7;
    lost.status = 0x80;
    Rec fresh1 = kReader19;
    fresh1.status = 0x10;
    Rec fresh2 = {Id(kReaderType, 3), 1, 0x10};
    Rec keypad = {Id(kKeypadType, 9), 1, 0x10};
    Rec otherReader = {Id(8, 1), 1, 0x10};   // category 0 as well, but another type code
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kController, lost, keypad, fresh1, otherReader, fresh2})));
    EXPECT_TRUE(devs.HasInactive());

    ResList pairs;
    ASSERT_EQ(devs.ReplacePairs(pairs), 2);
    // Display order puts serial 3 (slot 5) before serial 19 (slot 3).
    EXPECT_EQ(pairs[0], (5 << 8) | 1);
    EXPECT_EQ(pairs[1], (3 << 8) | 1);
    EXPECT_EQ(devs.PairText(pairs[1]), "R107_00007 <-- R107_00019");

    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kController, kReader7, fresh1})));
    EXPECT_FALSE(devs.HasInactive());
    EXPECT_EQ(devs.ReplacePairs(pairs), 0);
}

TEST(Inventory, PairTextOutsideTheList)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kController, kReader7, kReader19, kModule})));
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {kController, kReader7})));
    // Slot 3 is beyond the count but inside the table: it shows what it last held. Index 120 is
    // outside the table and reads as an unknown device.
    EXPECT_EQ(devs.PairText((3 << 8) | 1), "R107_00007 <-- D102_01234");
    EXPECT_EQ(devs.PairText((120 << 8) | 0x6C), "?108 <-- ?120");
    // Bits 7 and 15 take no part in the indexes.
    EXPECT_EQ(devs.PairText(0x8381), "R107_00007 <-- D102_01234");
}

}  // namespace
