// The controller peer as the program meets it: through datagrams on the simulated LAN.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "peer_client.h"

namespace {

constexpr uint32_t kIp = 0xC0A80114u;   // 192.168.1.20
constexpr uint8_t kInactive = 0x80;
constexpr uint8_t kNew = 0x10;

class Peer : public ::testing::Test {
protected:
    Peer() : id(MakeId(305, 42)), peer(lan.AddPeer(kIp, id, 2)), client(lan, kIp, id)
    {
        peer.deviceList = DeviceListBlock(1, 2, Devices());
        peer.blocks[0] = EmptyDoorBlock();
        SetBlockSlot(peer.blocks[0], 0, 0x0000);    // lock: controller output 1
        SetBlockSlot(peer.blocks[0], 7, 0x0481);    // door sensor: keypad input 2, NC
        SetBlockSlot(peer.blocks[0], 16, 0x0100);   // reader 1: the inactive reader
        SetBlockSlot(peer.blocks[0], 17, 0x0200);
        SetBlockSlot(peer.blocks[0], 18, 0x0300);   // the new reader
        SetBlockSlot(peer.blocks[0], 19, 0x6C00);   // a device index beyond the list
        SetBlockName(peer.blocks[0], "Wej\x9C" "cie");
        peer.blocks[1] = EmptyDoorBlock();
        peer.blocks[1][4] = 0x77;                   // a spare header byte that a write must keep
    }

    // Controller, inactive reader, active reader, new reader, new keypad.
    std::vector<DevSpec> Devices() const
    {
        return {{id, 1, 0, 4, 8, 8, 2},
                {MakeId(7, 11), 1, kInactive, 1, 0, 2, 1},
                {MakeId(7, 12), 1, 0, 1, 0, 2, 1},
                {MakeId(7, 13), 2, kNew, 1, 0, 2, 1},
                {MakeId(512, 14), 1, kNew, 0, 0, 2, 1}};
    }

    SimLan lan;
    uint32_t id;
    ControllerPeer& peer;
    PeerClient client;
};

TEST_F(Peer, AnswersStatusAndSearch)
{
    const std::vector<uint8_t> status = client.Status();
    ASSERT_EQ(status.size(), 16u);
    EXPECT_EQ(status[2], 2);
    EXPECT_EQ(status[3], '1');

    // The search names every controller; the reply carries the controller's own identifier.
    const auto search = BuildUnsigned('O', kAllDevices, {});
    lan.SendTo(kBroadcastIp, kUdpPort, search.data(), search.size());
    auto reply = client.Next();
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->size(), kStatusReplyLength);
    EXPECT_TRUE(CheckUnsigned(*reply));
    EXPECT_EQ(std::string(reply->begin(), reply->begin() + 4), "MMDO");
    EXPECT_EQ(GetU32(reply->data() + 4), id);
    EXPECT_EQ((*reply)[10], 2);
    EXPECT_EQ((*reply)[11], '1');
    EXPECT_EQ(lan.received.back().fromIp, kIp);

    // Frames that are not for it, or not frames, go unanswered; only well-formed ones are logged.
    auto badCrc = BuildUnsigned('O', id, {});
    badCrc.back() ^= 1;
    const std::vector<std::vector<uint8_t>> ignored = {
        BuildUnsigned('O', id ^ 1u, {}),          // another controller
        BuildUnsigned('K', kAllDevices, {}),      // only the search may name every controller
        badCrc,
        std::vector<uint8_t>(badCrc.begin(), badCrc.begin() + 11),
        BuildUnsigned('X', id, {}),               // no such command
    };
    const std::size_t logged = peer.log.size();
    for (const auto& frame : ignored) {
        client.Send(frame);
        EXPECT_FALSE(client.Next()) << "frame " << (&frame - ignored.data());
    }
    EXPECT_EQ(peer.log.size(), logged + 1);   // only the unknown command X was well formed
}

TEST_F(Peer, GrantsSessionAndSignsReplies)
{
    EXPECT_EQ(client.Status()[2], 0x02);
    client.OpenSession();
    EXPECT_EQ(client.Status()[2], 0x82);   // bit 7: a session is held

    const auto frame = client.SignedFrame('D');
    client.Send(frame);
    auto reply = client.Next();
    ASSERT_TRUE(reply);
    EXPECT_TRUE(CheckSignedCode(client.cmac, *reply));
    EXPECT_EQ((*reply)[10], 'D' | 0x80);
    EXPECT_EQ(GetU16(reply->data() + 8), GetU16(frame.data() + 8));   // the request's counter
    EXPECT_EQ(std::vector<uint8_t>(reply->begin() + 11, reply->end() - 8), peer.deviceList);

    const PeerRequest& logged = peer.log.back();
    EXPECT_TRUE(logged.isSigned);
    EXPECT_TRUE(logged.codeOk);
    EXPECT_EQ(logged.letter, 'D');
    EXPECT_EQ(logged.counter, 1);
}

TEST_F(Peer, KeyMaterialIsFreshOnEveryKAndRepeatsPerIdentifier)
{
    const auto first = client.OpenSession();
    const auto firstKey = client.key;
    const auto second = client.OpenSession();
    EXPECT_NE(first, second);
    EXPECT_NE(firstKey, client.key);
    EXPECT_TRUE(client.SignedPayload('S'));

    // The key of the replaced session no longer opens anything.
    client.UseKey(firstKey);
    EXPECT_FALSE(client.Signed('S'));
    EXPECT_FALSE(peer.log.back().codeOk);

    // Another peer with the same identifier hands out the same material: runs are repeatable.
    SimLan other;
    other.AddPeer(kIp, id, 2);
    PeerClient otherClient(other, kIp, id);
    EXPECT_EQ(otherClient.OpenSession(), first);
}

TEST_F(Peer, IgnoresSignedRequestsItCannotVerify)
{
    // Without a session nothing can be verified.
    EXPECT_FALSE(client.Signed('D'));
    EXPECT_FALSE(peer.log.back().codeOk);

    client.OpenSession();
    auto wrongCode = client.SignedFrame('D');
    wrongCode.back() ^= 0x01;
    auto otherId = client.SignedFrame('D');
    PutU32(otherId.data() + 4, id ^ 1u);
    const std::size_t logged = peer.log.size();
    client.Send(wrongCode);
    EXPECT_FALSE(client.Next());
    ASSERT_EQ(peer.log.size(), logged + 1);
    EXPECT_FALSE(peer.log.back().codeOk);
    client.Send(otherId);
    EXPECT_FALSE(client.Next());
    client.Send(std::vector<uint8_t>(wrongCode.begin(), wrongCode.begin() + 18));
    EXPECT_FALSE(client.Next());
    EXPECT_EQ(peer.log.size(), logged + 1);

    // The session itself is unharmed.
    EXPECT_EQ(client.SignedPayload('D'), peer.deviceList);
}

TEST_F(Peer, WrittenRecordIsReadBackWithTheBlockHeader)
{
    client.OpenSession();
    std::vector<uint8_t> write{1, 1};
    for (int i = 0; i < 104; ++i) write.push_back(static_cast<uint8_t>(i));
    std::vector<uint8_t> expected(peer.blocks[1].begin(), peer.blocks[1].begin() + 8);
    expected.insert(expected.end(), write.begin() + 2, write.end());

    EXPECT_EQ(client.SignedPayload('c', write), kAckPayload);
    EXPECT_EQ(client.SignedPayload('C', {1, 1}), expected);
    EXPECT_EQ(expected[4], 0x77);

    // A slot that held no block gets the header of the kind written.
    write[1] = 5;
    EXPECT_EQ(client.SignedPayload('c', write), kAckPayload);
    auto fifth = client.SignedPayload('C', {1, 5});
    ASSERT_TRUE(fifth);
    ASSERT_EQ(fifth->size(), kBlockLength);
    EXPECT_EQ(std::vector<uint8_t>(fifth->begin(), fifth->begin() + 8), BlockHeader(1));

    // Acknowledged but not stored: a short record, an index beyond the eight blocks.
    const auto before = peer.blocks;
    std::vector<uint8_t> shortRecord(write.begin(), write.end() - 1);
    shortRecord[1] = 0;
    EXPECT_EQ(client.SignedPayload('c', shortRecord), kAckPayload);
    write[1] = 8;
    EXPECT_EQ(client.SignedPayload('c', write), kAckPayload);
    EXPECT_EQ(peer.blocks, before);
    EXPECT_EQ(client.SignedPayload('C', {1, 8}), std::vector<uint8_t>{});

    // The fault: no acknowledgement, and nothing stored.
    peer.faults.noAckBlock = 0;
    write[1] = 0;
    EXPECT_EQ(client.SignedPayload('c', write), kNakPayload);
    EXPECT_EQ(peer.blocks, before);
}

TEST_F(Peer, DeleteInactiveDropsDevicesAndRenumbersTheBlocks)
{
    client.OpenSession();
    EXPECT_EQ(client.SignedPayload('F'), kAckPayload);

    auto devices = Devices();
    devices.erase(devices.begin() + 1);
    EXPECT_EQ(peer.deviceList, DeviceListBlock(1, 2, devices));
    const std::vector<uint16_t> slots = {0x0000, 0x0381, 0xFFFF, 0x0100, 0x0200, 0x6C00};
    const std::vector<int> at = {0, 7, 16, 17, 18, 19};
    for (std::size_t i = 0; i < at.size(); ++i) EXPECT_EQ(BlockSlot(peer.blocks[0], at[i]), slots[i]) << at[i];
    EXPECT_EQ(client.SignedPayload('D'), peer.deviceList);

    // Nothing left to delete: the list stays as it is.
    const auto list = peer.deviceList;
    EXPECT_EQ(client.SignedPayload('F'), kAckPayload);
    EXPECT_EQ(peer.deviceList, list);
}

TEST_F(Peer, ReplaceMovesTheNewDeviceIntoTheInactiveSlot)
{
    client.OpenSession();
    EXPECT_EQ(client.SignedPayload('R', {1, 3}), kAckPayload);   // old device 1, new device 3

    auto devices = Devices();
    devices[1] = devices[3];
    devices[1].status = 0;
    devices[3] = DevSpec{kAbsentId, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(peer.deviceList, DeviceListBlock(1, 2, devices));
    EXPECT_EQ(BlockSlot(peer.blocks[0], 16), 0x0100);   // the old reader's settings serve the new one
    EXPECT_EQ(BlockSlot(peer.blocks[0], 18), 0xFFFF);   // the new reader's old slot is gone
    EXPECT_EQ(BlockSlot(peer.blocks[0], 17), 0x0200);
}

TEST_F(Peer, ReplaceRefusesPairsThatAreNotAReplacement)
{
    client.OpenSession();
    const auto list = peer.deviceList;
    const auto block = peer.blocks[0];
    const std::vector<std::vector<uint8_t>> pairs = {
        {2, 3},      // the old device is active
        {1, 2},      // the new device is not new
        {1, 4},      // another type code
        {3, 1},      // the roles swapped
        {1, 1},      // one device
        {1, 9},      // beyond the list
        {1},         // one byte
    };
    for (const auto& pair : pairs) {
        EXPECT_EQ(client.SignedPayload('R', pair), kAckPayload);
        EXPECT_EQ(peer.deviceList, list) << int(pair[0]);
        EXPECT_EQ(peer.blocks[0], block);
    }
}

TEST_F(Peer, KeepAliveAndClose)
{
    client.OpenSession();
    EXPECT_EQ(client.SignedPayload('S'), kAckPayload);
    EXPECT_EQ(client.SignedPayload('s'), kAckPayload);   // still signed with the session key
    EXPECT_EQ(client.Status()[2], 0x02);
    EXPECT_FALSE(client.Signed('D'));
}

TEST_F(Peer, TimeFrameIsStoredWithoutReply)
{
    std::vector<uint8_t> seconds(4);
    PutU32(seconds.data(), 1715904123u);
    EXPECT_FALSE(client.Unsigned('T', seconds));
    EXPECT_EQ(peer.lastTime, 1715904123u);
    EXPECT_EQ(peer.log.back().letter, 'T');
}

TEST_F(Peer, SessionEndsAfter30SecondsWithoutSignedTraffic)
{
    client.OpenSession();
    const int64_t t = lan.NowMs();
    ASSERT_TRUE(client.SignedPayload('S'));   // handled at t
    lan.Advance(20000 - (lan.NowMs() - t));
    client.Status();                          // a status poll keeps nothing alive
    EXPECT_TRUE(peer.HasSession(t + 29999));
    EXPECT_FALSE(peer.HasSession(t + 30000));
    EXPECT_EQ(peer.StatusByte(t + 30000), 0x02);
    lan.Advance(t + 30000 - lan.NowMs());
    EXPECT_FALSE(client.Signed('S'));
    EXPECT_FALSE(peer.log.back().codeOk);

    // Signed traffic within the 30 s keeps it.
    client.OpenSession();
    for (int i = 0; i < 3; ++i) {
        lan.Advance(29000);
        EXPECT_EQ(client.SignedPayload('S'), kAckPayload) << i;
    }
}

TEST_F(Peer, ConfigurationIsReadOnlyInServiceAndInstallation)
{
    client.OpenSession();
    for (int mode : {0, 1, 2, 3}) {
        peer.status = static_cast<uint8_t>(mode);
        const bool served = mode >= 2;
        EXPECT_EQ(client.SignedPayload('D').has_value(), served) << mode;
        EXPECT_EQ(client.SignedPayload('C', {1, 0}).has_value(), served) << mode;
        EXPECT_EQ(client.SignedPayload('S'), kAckPayload) << mode;
    }
}

// ---------------------------------------------------------------------------------------------
// Faults

TEST_F(Peer, CountedFaultsSpoilTheNextRepliesOnly)
{
    client.OpenSession();
    struct Case {
        const char* name;
        int PeerFaults::*counter;
        bool isSigned;
        std::function<bool(const std::optional<std::vector<uint8_t>>&)> spoiled;
    };
    const uint32_t myId = id;
    CMAC& cmac = client.cmac;
    const std::vector<Case> cases = {
        {"dropReplies/O", &PeerFaults::dropReplies, false, [](const auto& r) { return !r; }},
        {"dropReplies/D", &PeerFaults::dropReplies, true, [](const auto& r) { return !r; }},
        {"badCrc", &PeerFaults::badCrc, false, [](const auto& r) { return r && !CheckUnsigned(*r); }},
        {"badCode", &PeerFaults::badCode, true, [&](const auto& r) { return r && !CheckSignedCode(cmac, *r); }},
        {"wrongLetter/O", &PeerFaults::wrongLetter, false,
         [](const auto& r) { return r && CheckUnsigned(*r) && (*r)[3] != 'O'; }},
        {"wrongLetter/D", &PeerFaults::wrongLetter, true,
         [&](const auto& r) { return r && CheckSignedCode(cmac, *r) && (*r)[10] != ('D' | 0x80); }},
        {"foreignId/O", &PeerFaults::foreignId, false,
         [=](const auto& r) { return r && CheckUnsigned(*r) && GetU32(r->data() + 4) != myId; }},
        {"foreignId/D", &PeerFaults::foreignId, true,
         [&](const auto& r) { return r && CheckSignedCode(cmac, *r) && GetU32(r->data() + 4) != myId; }},
    };
    for (const Case& c : cases) {
        peer.faults.*c.counter = 2;
        for (int i = 0; i < 3; ++i) {
            const auto reply = c.isSigned ? client.Signed('D') : client.Unsigned('O');
            EXPECT_EQ(c.spoiled(reply), i < 2) << c.name << " reply " << i;
        }
        EXPECT_EQ(peer.faults.*c.counter, 0) << c.name;
    }
}

TEST_F(Peer, SilentPeerLogsButNeverAnswers)
{
    peer.faults.silent = true;
    EXPECT_FALSE(client.Unsigned('O'));
    EXPECT_FALSE(client.Unsigned('K'));
    EXPECT_EQ(peer.log.size(), 2u);
    EXPECT_FALSE(peer.HasSession(lan.NowMs()));
}

TEST_F(Peer, DuplicateAndLateReplies)
{
    peer.faults.duplicate = true;
    const auto first = client.Unsigned('O');
    const auto second = client.Next();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, *second);
    EXPECT_FALSE(client.Next());

    peer.faults.duplicate = false;
    peer.faults.lateMs = 500;
    const int64_t sentAt = lan.NowMs();
    EXPECT_FALSE(client.Unsigned('O'));   // misses the 300 ms wait
    const auto late = client.Next();
    ASSERT_TRUE(late);
    EXPECT_EQ(lan.NowMs(), sentAt + 500 + lan.latencyMs);
}

TEST_F(Peer, ForeignSessionShowsInStatusAndRefusesK)
{
    peer.faults.foreignSession = true;
    EXPECT_EQ(client.Status()[2], 0x82);
    const auto k = client.Unsigned('K');
    ASSERT_TRUE(k);
    EXPECT_EQ(k->size(), kUnsignedOverhead);   // no key material
    EXPECT_FALSE(peer.HasSession(lan.NowMs()));

    // A session that this client held before the other one took over is no longer served.
    peer.faults.foreignSession = false;
    client.OpenSession();
    peer.faults.foreignSession = true;
    EXPECT_FALSE(client.Signed('D'));
}

TEST_F(Peer, KeyOfWrongLengthOpensNoSession)
{
    for (int length : {15, 17, 0}) {
        peer.faults.keyLength = length;
        const auto k = client.Unsigned('K');
        ASSERT_TRUE(k);
        EXPECT_TRUE(CheckUnsigned(*k));
        EXPECT_EQ(k->size(), kUnsignedOverhead + static_cast<std::size_t>(length));
        EXPECT_EQ(client.Status()[2], 0x02) << length;
    }
}

TEST_F(Peer, StatusNotOneExtraPayloadAndRewrittenReplies)
{
    peer.faults.statusNotOne = true;
    EXPECT_EQ(client.Status()[3], '0');
    peer.faults.statusNotOne = false;

    client.OpenSession();
    peer.faults.extraPayload = 3;
    auto longer = client.SignedPayload('D');
    ASSERT_TRUE(longer);
    EXPECT_EQ(longer->size(), peer.deviceList.size() + 3);
    EXPECT_EQ(client.SignedPayload('D'), peer.deviceList);   // only the next reply

    char seen = 0;
    peer.mutateReply = [&](const PeerRequest& req, std::vector<uint8_t>& frame) {
        seen = req.letter;
        frame.resize(11);
    };
    const auto cut = client.Unsigned('O');
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->size(), 11u);
    EXPECT_EQ(seen, 'O');
}

} // namespace
