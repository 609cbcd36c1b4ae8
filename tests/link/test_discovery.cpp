// Discovery: the search broadcast, collection of replies, the time frame and the ordered set.
#include "lan_fixture.h"

#include "link/crc32.h"

namespace {

std::vector<uint8_t> Reply(uint32_t id, uint8_t status)
{
    std::vector<uint8_t> payload(16, 0);
    payload[2] = status;
    payload[3] = '1';
    return BuildUnsigned('O', id, payload);
}

} // namespace

using Discovery = LanTest;

TEST_F(Discovery, SearchWithNobodyAnsweringSendsThreeBroadcasts)
{
    peer.faults.silent = true;
    UdpDevSet set;
    set.Search();
    ASSERT_EQ(lan.sent.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lan.sent[i].toIp, 0xFFFFFFFFu);
        EXPECT_EQ(lan.sent[i].port, 45389);
        EXPECT_EQ(lan.sent[i].atMs, static_cast<int64_t>(200 * i));
        EXPECT_EQ(lan.sent[i].bytes, BuildUnsigned('O', 0xFFFFFFFFu, {}));
    }
    EXPECT_EQ(set.count, 0);
}

TEST_F(Discovery, SearchFindsControllersAndSendsEachATimeFrame)
{
    lan.AddPeer(0xC0A80115u, MakeId(7, 7), 0);   // not a controller type, still listed
    UdpDevSet set;
    set.Search();
    ASSERT_EQ(set.count, 2);
    EXPECT_EQ(set[0].id, MakeId(7, 7));   // ordered by type code and serial number
    EXPECT_EQ(set[1].id, id);
    EXPECT_EQ(set[1].ip, kIp);
    EXPECT_EQ(set[1].mode, kServis);
    EXPECT_TRUE(set[1].reachable);
    EXPECT_FALSE(set[1].hasSession);
    EXPECT_EQ(set.selected, -1);

    // One broadcast was enough; then one T frame per new controller, to its address.
    ASSERT_EQ(lan.sent.size(), 3u);
    for (std::size_t i = 1; i < 3; ++i) {
        const auto& t = lan.sent[i].bytes;
        ASSERT_EQ(t.size(), 16u);
        EXPECT_EQ(std::string(t.begin(), t.begin() + 4), "MMDT");
        EXPECT_EQ(GetU32(&t[8]), static_cast<uint32_t>(lan.UtcSeconds()));
        EXPECT_TRUE(CheckUnsigned(t));
        EXPECT_EQ(lan.sent[i].port, 45389);
    }
    EXPECT_EQ(peer.lastTime, static_cast<uint32_t>(lan.UtcSeconds()));
}

TEST_F(Discovery, SearchWithoutTimeFramesStillFindsEveryController)
{
    lan.AddPeer(0xC0A80115u, MakeId(7, 7), 0);
    UdpDevSet set;
    set.sendTimeFrames = false;
    set.Search();
    ASSERT_EQ(set.count, 2);
    ASSERT_EQ(lan.sent.size(), 1u);   // the broadcast alone
    EXPECT_EQ(lan.sent[0].toIp, 0xFFFFFFFFu);
    EXPECT_FALSE(peer.lastTime.has_value());

    // A later reply that changes the set is taken in, still without a time frame.
    lan.Inject(0xC0A80116u, Reply(MakeId(305, 43), 2), lan.NowMs());
    EXPECT_TRUE(set.Collect(0));
    EXPECT_EQ(set.count, 3);
    EXPECT_EQ(lan.sent.size(), 1u);
}

TEST_F(Discovery, CollectTakesOnlyWellFormedReplies)
{
    peer.faults.silent = true;
    UdpDevSet set;
    auto badCrc = Reply(MakeId(305, 1), 2);
    badCrc[25] ^= 1;
    auto shortReply = Reply(MakeId(305, 2), 2);
    shortReply.erase(shortReply.begin() + 20);
    auto longReply = Reply(MakeId(305, 3), 2);
    longReply.insert(longReply.begin() + 20, 0);
    // Replies of 27 and 29 bytes whose CRC is right for their length.
    std::vector<uint8_t> status15(15, 0), status17(17, 0);
    status15[2] = status17[2] = 2;
    status15[3] = status17[3] = '1';
    const std::vector<std::vector<uint8_t>> rejected = {
        badCrc, shortReply, longReply, Reply(0x21000005u, 2), Reply(0xFFFFFFFFu, 2),
        BuildUnsigned('O', MakeId(305, 5), status15), BuildUnsigned('O', MakeId(305, 6), status17), {},
        BuildUnsigned('K', MakeId(305, 4), std::vector<uint8_t>(16, 0x31)),
    };
    for (const auto& r : rejected) lan.Inject(kIp, r, 0);
    EXPECT_FALSE(set.Collect(0));
    EXPECT_EQ(set.count, 0);
    EXPECT_TRUE(lan.sent.empty());
    EXPECT_EQ(lan.PendingCount(), 0u);
}

TEST_F(Discovery, AnEmptyDatagramDoesNotEndTheCollection)
{
    // An empty datagram is something that came, not a receive that timed out: the reply behind
    // it is still collected.
    peer.faults.silent = true;
    UdpDevSet set;
    lan.Inject(kIp, {}, 10);
    lan.Inject(kIp, Reply(MakeId(305, 9), 2), 20);
    EXPECT_TRUE(set.Collect(200));
    ASSERT_EQ(set.count, 1);
    EXPECT_EQ(set[0].id, MakeId(305, 9));
}

TEST_F(Discovery, SameReplyTwiceChangesOnceAndAnotherAddressUpdates)
{
    peer.faults.silent = true;
    UdpDevSet set;
    const auto r = Reply(MakeId(305, 9), 2);
    lan.Inject(0x0A000009u, r, 0);
    lan.Inject(0x0A000009u, r, 0);
    EXPECT_TRUE(set.Collect(0));
    EXPECT_EQ(set.count, 1);
    EXPECT_EQ(lan.sent.size(), 1u);   // one time frame
    lan.Inject(0x0A00000Au, r, lan.NowMs());
    EXPECT_TRUE(set.Collect(0));
    EXPECT_EQ(set[0].ip, 0x0A00000Au);
    ASSERT_EQ(lan.sent.size(), 2u);
    EXPECT_EQ(lan.sent[1].toIp, 0x0A00000Au);
}

TEST_F(Discovery, UnreachableControllerStaysUnreachableAfterADiscoveryReply)
{
    UdpDevSet set;
    set.Search();
    ASSERT_EQ(set.count, 1);
    peer.faults.silent = true;
    EXPECT_FALSE(set[0].PollStatus());
    peer.faults.silent = false;
    lan.Inject(kIp, Reply(id, 3), lan.NowMs());
    EXPECT_TRUE(set.Collect(0));   // the mode changed
    EXPECT_FALSE(set[0].reachable);
    EXPECT_EQ(set[0].ModeName(), "Niedost\xEApny");
    EXPECT_TRUE(set[0].PollStatus());
    EXPECT_EQ(set[0].ModeName(), "Serwis");
}

TEST(UdpDevSetOrder, InsertionKeepsKeyOrderAndSelection)
{
    UdpDevSet set;
    for (uint32_t key : {5u, 2u, 9u}) EXPECT_TRUE(set.AddOrUpdate(0x30000000u | key, 1, 0));
    ASSERT_EQ(set.count, 3);
    EXPECT_EQ(set[0].id & 0x3FFFFFF, 2u);
    EXPECT_EQ(set[1].id & 0x3FFFFFF, 5u);
    EXPECT_EQ(set[2].id & 0x3FFFFFF, 9u);

    // Bits 26-31 take no part in ordering: equal keys keep the order of arrival.
    EXPECT_TRUE(set.AddOrUpdate(0x34000005u, 1, 0));
    EXPECT_EQ(set[2].id, 0x34000005u);

    struct Case {
        int selected;
        uint32_t key;
        int after;
    };
    const Case cases[] = {{1, 1, 2}, {1, 3, 2}, {1, 6, 1}, {-1, 1, -1}};
    for (const Case& c : cases) {
        UdpDevSet s;
        for (uint32_t key : {2u, 5u, 9u}) s.AddOrUpdate(0x30000000u | key, 1, 0);
        s.selected = c.selected;
        EXPECT_TRUE(s.AddOrUpdate(0x30000000u | c.key, 1, 0));
        EXPECT_EQ(s.selected, c.after) << "key " << c.key;
    }
}

TEST(UdpDevSetOrder, HoldsAtMostAHundred)
{
    UdpDevSet set;
    for (uint32_t i = 0; i < 100; ++i) EXPECT_TRUE(set.AddOrUpdate(0x30000000u | (i * 2 + 2), 1, 0));
    EXPECT_FALSE(set.AddOrUpdate(0x30000001u, 1, 0));      // would sort first
    EXPECT_FALSE(set.AddOrUpdate(0x30000FFFu, 1, 0));      // would sort last
    EXPECT_EQ(set.count, 100);
    EXPECT_TRUE(set.AddOrUpdate(0x30000002u, 7, 0));       // a known one is still updated
    EXPECT_EQ(set[0].ip, 7u);
    set.selected = -1;
    EXPECT_EQ(set.Selected(), nullptr);
}
