// Reading and writing the model through the link, against a simulated controller.
#include <gtest/gtest.h>

#include "model/ctrlcfg.h"
#include "tests/link/lan_fixture.h"

namespace {

std::vector<DevSpec> Devices()
{
    return {{MakeId(305, 42), 3, 0, 4, 8, 6, 2},
            {MakeId(702, 1234), 2, 0, 8, 0, 8, 0},
            {MakeId(7, 7), 1, 0, 1, 0, 1, 1},
            {MakeId(702, 5), 1, 0, 0x83, 0, 8, 1}};
}

// A door block whose lock is output `lock` of device 1 and whose name is `name`.
std::vector<uint8_t> DoorBlockWith(int lock, const char* name)
{
    std::vector<uint8_t> b = EmptyDoorBlock();
    PutU16(&b[8], MakeRes(1, lock));
    std::copy(name, name + std::strlen(name), b.begin() + 96);
    return b;
}

std::vector<PeerRequest> Signed(const ControllerPeer& peer, char letter)
{
    std::vector<PeerRequest> out;
    for (const PeerRequest& r : peer.log) {
        if (r.isSigned && r.letter == letter) out.push_back(r);
    }
    return out;
}

class ModelLan : public LanTest {
protected:
    ModelLan()
    {
        peer.deviceList = DeviceListBlock(1, 4, Devices());
        for (int i = 0; i < 4; ++i) peer.blocks[static_cast<std::size_t>(i)] = DoorBlockWith(i, "Drzwi");
        dev = Found();
    }

    UdpDev dev;
    BusDevSet devs;
    DoorConfig doors{devs};
    LiftConfig lift{devs};
};

TEST_F(ModelLan, LoadReadsAndDecodesTheList)
{
    devs.Load(dev);
    EXPECT_EQ(SentLetters(), "OKD");
    EXPECT_EQ(devs.recordCount, 4);
    EXPECT_EQ(devs.doorCount, 4);
    EXPECT_EQ(devs.kind, 1);
    EXPECT_EQ(devs.records[3].setCount, 3);
}

TEST_F(ModelLan, LoadLeavesTheInventoryAloneWhenNothingComes)
{
    devs.Load(dev);
    devs.Mark(ResKind::Output, MakeRes(1, 0));
    const BusDevSet before = devs;
    // A mode without bus configuration: nothing is sent and nothing changes.
    dev.mode = 1;
    lan.ClearLog();
    devs.Load(dev);
    EXPECT_TRUE(lan.sent.empty());
    EXPECT_EQ(devs.records, before.records);
    EXPECT_EQ(devs.recordCount, 4);

    // A silent controller: the link's error passes through and nothing changes.
    dev.mode = 2;
    peer.faults.silent = true;
    EXPECT_THROW(devs.Load(dev), UErr);
    EXPECT_EQ(devs.records, before.records);
    EXPECT_EQ(devs.recordCount, 4);
}

TEST_F(ModelLan, LoadRejectsAListShorterThanItsCount)
{
    devs.Load(dev);
    peer.deviceList.pop_back();
    devs.Load(dev);
    EXPECT_EQ(devs.recordCount, 0);
    EXPECT_EQ(devs.doorCount, 4);
    EXPECT_EQ(devs.presentCount, 4);
}

TEST_F(ModelLan, PollDecodesOnlyAChangedList)
{
    devs.Load(dev);
    devs.Mark(ResKind::Input, MakeRes(0, 1));
    ASSERT_TRUE(dev.PollStatus());

    // Info byte and status bits 0-3 are no change: the maps stay.
    std::vector<DevSpec> deviceRecords = Devices();
    deviceRecords[2].info = 9;
    deviceRecords[2].status = 0x01;
    peer.deviceList = DeviceListBlock(1, 4, deviceRecords);
    EXPECT_FALSE(devs.Poll(dev));
    EXPECT_EQ(devs.records[0].usedIn, 2u);
    EXPECT_EQ(devs.records[2].info, 1);

    deviceRecords[2].status = 0x80;
    peer.deviceList = DeviceListBlock(1, 4, deviceRecords);
    EXPECT_TRUE(devs.Poll(dev));
    EXPECT_TRUE(devs.HasInactive());
    EXPECT_EQ(devs.records[0].usedIn, 0u);

    // The door count is not compared; a changed list that is rejected still counts as changed,
    // and the panel keeps the old one.
    peer.deviceList = DeviceListBlock(1, 9, deviceRecords);
    EXPECT_FALSE(devs.Poll(dev));
    deviceRecords.push_back({MakeId(7, 8)});
    peer.deviceList = DeviceListBlock(1, 9, deviceRecords);
    EXPECT_TRUE(devs.Poll(dev));
    EXPECT_EQ(devs.recordCount, 0);
    EXPECT_EQ(devs.presentCount, 4);
}

TEST_F(ModelLan, PollReadsNothingWhereTheQuietReadRefuses)
{
    devs.Load(dev);
    const BusDevSet before = devs;
    peer.deviceList = DeviceListBlock(2, 1, Devices());
    struct Case {
        const char* what;
        bool reachable;
        uint16_t mode;
        bool hasSession;
    };
    for (const Case c : {Case{"unreachable", false, 2, true}, Case{"mode Konfiguracja", true, 1, true},
                         Case{"another client's session", true, 0x82, false}}) {
        dev.reachable = c.reachable;
        dev.mode = c.mode;
        dev.hasSession = c.hasSession;
        lan.ClearLog();
        EXPECT_FALSE(devs.Poll(dev)) << c.what;
        EXPECT_TRUE(lan.sent.empty()) << c.what;
        EXPECT_EQ(devs.records, before.records) << c.what;
        EXPECT_EQ(devs.kind, 1) << c.what;
    }
}

TEST_F(ModelLan, DoorLoadReadsEachDoorAndRebuildsTheMaps)
{
    devs.Load(dev);
    doors.doors[2].bytes.fill(0x42);
    peer.blocks[2][3] = 3;   // another header: door 2 keeps its record
    lan.ClearLog();
    doors.Load(dev);
    EXPECT_EQ(SentLetters(), "OCCCC");
    const auto reads = Signed(peer, 'C');
    ASSERT_EQ(reads.size(), 4u);
    for (uint8_t i = 0; i < 4; ++i) EXPECT_EQ(reads[i].payload, (std::vector<uint8_t>{1, i}));
    EXPECT_EQ(doors.doors[1].Output(0), MakeRes(1, 1));
    EXPECT_EQ(doors.DoorName(3), "Drzwi");
    EXPECT_EQ(doors.doors[2].bytes[0], 0x42);
    // Outputs 0, 1 and 3 of device 1 from the doors read, and 0x4242 (device 66) from door 2,
    // which names no record of this list but a slot of the table.
    EXPECT_EQ(devs.records[1].usedOut, 0b1011u);
    EXPECT_EQ(devs.records[66].usedOut, 1u << 2);
}

TEST_F(ModelLan, DoorLoadDoesNothingWithoutConfigurationMode)
{
    devs.Load(dev);
    const auto before = doors.doors;
    lan.ClearLog();
    dev.mode = 0;
    doors.Load(dev);
    dev.mode = 2;
    dev.reachable = false;
    doors.Load(dev);
    EXPECT_TRUE(lan.sent.empty());
    EXPECT_EQ(doors.doors, before);
}

TEST_F(ModelLan, InterruptedDoorLoadKeepsWhatCameAndSkipsTheRebuild)
{
    devs.Load(dev);
    peer.mutateReply = [](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'C' && req.payload.size() == 2 && req.payload[1] == 2) frame.clear();
    };
    EXPECT_THROW(doors.Load(dev), UErr);
    EXPECT_EQ(doors.doors[0].Output(0), MakeRes(1, 0));
    EXPECT_EQ(doors.doors[1].Output(0), MakeRes(1, 1));
    EXPECT_EQ(doors.doors[2], DoorCfg{});
    EXPECT_EQ(devs.records[1].usedOut, 0u);
}

TEST_F(ModelLan, DoorSaveWritesEveryHeldDoorInOrder)
{
    devs.Load(dev);
    doors.Load(dev);
    doors.SetDoorName(1, "Magazyn");
    doors.AssignReader(3, 0, MakeRes(2, 0));
    lan.ClearLog();
    doors.Save(dev);
    EXPECT_EQ(SentLetters(), "Occcc");
    const auto writes = Signed(peer, 'c');
    ASSERT_EQ(writes.size(), 4u);
    for (uint8_t i = 0; i < 4; ++i) {
        std::vector<uint8_t> expected = {1, i};
        expected.insert(expected.end(), doors.doors[i].bytes.begin(), doors.doors[i].bytes.end());
        EXPECT_EQ(writes[i].payload, expected);
        // The controller keeps the record after the header it had.
        EXPECT_TRUE(std::equal(doors.doors[i].bytes.begin(), doors.doors[i].bytes.end(), peer.blocks[i].begin() + 8));
    }
}

TEST_F(ModelLan, DoorSaveNeverOverwritesADoorThatWasNotRead)
{
    // Door 2's block comes with another header: its record is not the controller's door.
    peer.blocks[2][3] = 3;
    const std::vector<uint8_t> stored = peer.blocks[2];
    devs.Load(dev);
    doors.Clear();
    doors.Load(dev);
    EXPECT_TRUE(doors.WasRead(0));
    EXPECT_FALSE(doors.WasRead(2));
    EXPECT_EQ(doors.UnreadDoors(), 1u << 2);
    EXPECT_EQ(doors.doors[2].Output(0), kNoRes);   // cleared, as the selection left it

    lan.ClearLog();
    doors.Save(dev);
    EXPECT_EQ(SentLetters(), "Occc");
    for (const PeerRequest& w : Signed(peer, 'c')) EXPECT_NE(w.payload[1], 2);
    EXPECT_EQ(peer.blocks[2], stored);

    // Once the user has edited it, the door is the user's and is written.
    doors.SetDoorName(2, "Nowe");
    EXPECT_TRUE(doors.WasEdited(2));
    EXPECT_EQ(doors.UnreadDoors(), 0u);
    lan.ClearLog();
    doors.Save(dev);
    EXPECT_EQ(SentLetters(), "Occcc");
    // An edit taken back leaves nothing to write for that door.
    doors.SetDoorName(2, "");
    EXPECT_FALSE(doors.WasEdited(2));

    // With every door unread there is nothing to send at all.
    for (auto& b : peer.blocks) if (!b.empty()) b[0] = 9;
    doors.Clear();
    doors.Load(dev);
    EXPECT_EQ(doors.UnreadDoors(), 0x0F);
    lan.ClearLog();
    doors.Save(dev);
    EXPECT_TRUE(lan.sent.empty());
}

TEST_F(ModelLan, InterruptedDoorLoadLeavesTheLaterDoorsUnread)
{
    devs.Load(dev);
    doors.Load(dev);
    peer.mutateReply = [](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'C' && req.payload.size() == 2 && req.payload[1] == 2) frame.clear();
    };
    EXPECT_THROW(doors.Load(dev), UErr);
    EXPECT_TRUE(doors.WasRead(1));
    EXPECT_FALSE(doors.WasRead(2));
    EXPECT_FALSE(doors.WasRead(3));
}

TEST_F(ModelLan, DoorSaveStopsAtTheFirstRefusal)
{
    devs.Load(dev);
    doors.Load(dev);
    peer.faults.noAckBlock = 2;
    lan.ClearLog();
    try {
        doors.Save(dev);
        FAIL() << "no error";
    } catch (const UErr& e) {
        EXPECT_EQ(e.kind, 7);
        EXPECT_EQ(e.cmd, 'c');
    }
    EXPECT_EQ(Signed(peer, 'c').size(), 3u);
}

TEST_F(ModelLan, LiftLoadAndSave)
{
    std::vector<uint8_t> block = EmptyLiftBlock();
    PutU16(&block[8 + 2 * 5], MakeRes(3, 2));    // floors 41-48 on set 2 of device 3
    PutU16(&block[24], MakeRes(0, 4));           // input slot 0, hidden on the page
    block[52] = 250;
    peer.deviceList = DeviceListBlock(2, 1, Devices());
    peer.blocks[0] = block;
    devs.Load(dev);
    lift.Load(dev);
    EXPECT_EQ(lift.lift.OutputSet(5), MakeRes(3, 2));
    EXPECT_EQ(lift.lift.UnlockTime(), 127);
    EXPECT_EQ(devs.records[3].usedSet, 1u << 2);
    EXPECT_EQ(devs.records[0].usedIn, 1u << 4);
    const auto read = Signed(peer, 'C');
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].payload, (std::vector<uint8_t>{2, 0}));

    // A rejected block keeps the record, and the maps are rebuilt from it after the list decode.
    ASSERT_TRUE(devs.Decode(peer.deviceList));
    peer.blocks[0][1] = 8;
    lift.Load(dev);
    EXPECT_EQ(lift.lift.OutputSet(5), MakeRes(3, 2));
    EXPECT_EQ(devs.records[3].usedSet, 1u << 2);

    // That record was not read: saving it unedited sends nothing.
    EXPECT_FALSE(lift.WasRead());
    lan.ClearLog();
    lift.Save(dev);
    EXPECT_TRUE(lan.sent.empty());

    lift.AssignSet(0, MakeRes(3, 0));
    EXPECT_TRUE(lift.WasEdited());
    lan.ClearLog();
    lift.Save(dev);
    EXPECT_EQ(SentLetters(), "Oc");
    const auto writes = Signed(peer, 'c');
    ASSERT_EQ(writes.size(), 1u);
    std::vector<uint8_t> expected = {2, 0};
    expected.insert(expected.end(), lift.lift.bytes.begin(), lift.lift.bytes.end());
    EXPECT_EQ(writes[0].payload, expected);
}

}  // namespace
