// The simulated LAN: its virtual clock, delivery, recording and the bind error.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "peer_client.h"

namespace {

constexpr uint32_t kA = 0x0A000001u;
constexpr uint32_t kB = 0x0A000002u;

std::vector<uint8_t> Bytes(uint8_t tag, std::size_t length = 12) { return std::vector<uint8_t>(length, tag); }

struct Received {
    std::optional<std::size_t> length;   // nullopt: nothing came
    uint8_t first = 0;
    uint32_t from = 0;
    uint16_t port = 0;
};

Received Take(SimLan& lan, int timeoutMs, std::size_t capacity = 64)
{
    std::vector<uint8_t> buffer(capacity);
    Received r;
    r.length = lan.Receive(buffer.data(), buffer.size(), timeoutMs, r.from, r.port);
    r.first = buffer[0];
    return r;
}

TEST(SimLan, AnEmptyDatagramIsToldApartFromNothing)
{
    SimLan lan;
    lan.Inject(0x0A000001u, {}, 5);
    const Received empty = Take(lan, 200);
    ASSERT_TRUE(empty.length);
    EXPECT_EQ(*empty.length, 0u);
    EXPECT_EQ(empty.from, 0x0A000001u);
    EXPECT_FALSE(Take(lan, 200).length);
}

TEST(SimLan, EmptyReceiveAdvancesTheClockByItsTimeoutAtOnce)
{
    SimLan lan;
    const auto realStart = std::chrono::steady_clock::now();
    for (int i = 0; i < 1000; ++i) EXPECT_FALSE(Take(lan, 200).length);
    EXPECT_EQ(lan.NowMs(), 200000);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(2));
    EXPECT_FALSE(Take(lan, 0).length);
    EXPECT_FALSE(Take(lan, -5).length);   // a negative timeout waits no time
    EXPECT_EQ(lan.NowMs(), 200000);
}

TEST(SimLan, DatagramsArriveInTimeOrderAndMoveTheClockToTheirArrival)
{
    SimLan lan;
    lan.Inject(kA, Bytes(3), 500);
    lan.Inject(kA, Bytes(1), 20);
    lan.Inject(kB, Bytes(2), 20);   // same time: the order of queueing

    // Only what arrives within the timeout is taken.
    EXPECT_FALSE(Take(lan, 19).length);
    EXPECT_EQ(lan.NowMs(), 19);
    Received r = Take(lan, 1);
    EXPECT_EQ(r.first, 1);
    EXPECT_EQ(r.from, kA);
    EXPECT_EQ(r.port, kUdpPort);
    EXPECT_EQ(lan.NowMs(), 20);
    EXPECT_EQ(Take(lan, 0).first, 2);   // already there: timeout 0 takes it
    EXPECT_EQ(lan.NowMs(), 20);
    EXPECT_FALSE(Take(lan, 200).length);
    EXPECT_EQ(lan.NowMs(), 220);
    EXPECT_FALSE(Take(lan, 200).length);
    EXPECT_EQ(Take(lan, 200).first, 3);
    EXPECT_EQ(lan.NowMs(), 500);

    // A datagram whose time has passed is taken at once and the clock does not go back.
    lan.Inject(kA, Bytes(4), 100);
    EXPECT_EQ(Take(lan, 0).first, 4);
    EXPECT_EQ(lan.NowMs(), 500);
    ASSERT_EQ(lan.received.size(), 4u);
    EXPECT_EQ(lan.received[3].atMs, 500);
    EXPECT_EQ(lan.PendingCount(), 0u);
}

TEST(SimLan, LongDatagramIsCutToTheBuffer)
{
    SimLan lan;
    lan.Inject(kA, Bytes(7, 100), 0);
    EXPECT_EQ(Take(lan, 0, 40).length, 40u);
    EXPECT_EQ(lan.received[0].bytes.size(), 100u);   // the record keeps what was on the wire
}

TEST(SimLan, DeliveryToPeersAndRecording)
{
    SimLan lan(0xC0A80164u);
    lan.latencyMs = 3;
    ControllerPeer& a = lan.AddPeer(kA, MakeId(305, 1), 2);
    ControllerPeer& b = lan.AddPeer(kB, MakeId(305, 2), 3);
    EXPECT_EQ(lan.Peer(MakeId(305, 2)), &b);
    EXPECT_EQ(lan.Peer(MakeId(305, 3)), nullptr);
    EXPECT_EQ(lan.PeerIp(MakeId(305, 1)), kA);
    EXPECT_EQ(lan.PeerIp(MakeId(305, 3)), 0u);

    // A broadcast reaches every peer; each answers from its own address.
    lan.Advance(10);
    const auto search = BuildUnsigned('O', kAllDevices, {});
    lan.SendTo(kBroadcastIp, kUdpPort, search.data(), search.size());
    EXPECT_EQ(a.log.size(), 1u);
    EXPECT_EQ(b.log.size(), 1u);
    EXPECT_EQ(a.log[0].atMs, 10);
    Received first = Take(lan, 200);
    Received second = Take(lan, 200);
    EXPECT_EQ(first.from, kA);
    EXPECT_EQ(second.from, kB);
    EXPECT_EQ(lan.NowMs(), 13);

    // A unicast reaches only the peer at that address; another port reaches nobody.
    const auto poll = BuildUnsigned('O', b.id, {});
    lan.SendTo(kB, kUdpPort, poll.data(), poll.size());
    lan.SendTo(kA, kUdpPort, poll.data(), poll.size());   // a's id differs: dropped by a
    lan.SendTo(kB, 45390, poll.data(), poll.size());
    EXPECT_EQ(a.log.size(), 1u);
    EXPECT_EQ(b.log.size(), 2u);
    EXPECT_EQ(Take(lan, 200).from, kB);
    EXPECT_FALSE(Take(lan, 200).length);

    ASSERT_EQ(lan.sent.size(), 4u);
    EXPECT_EQ(lan.sent[0].toIp, kBroadcastIp);
    EXPECT_EQ(lan.sent[0].fromIp, 0xC0A80164u);
    EXPECT_EQ(lan.sent[0].atMs, 10);
    EXPECT_EQ(lan.sent[3].port, 45390);
    EXPECT_EQ(lan.sent[1].bytes, poll);
    ASSERT_EQ(lan.received.size(), 3u);
    EXPECT_EQ(lan.received[0].toIp, 0xC0A80164u);
    EXPECT_EQ(lan.received[0].atMs, 13);
    lan.ClearLog();
    EXPECT_TRUE(lan.sent.empty());
    EXPECT_TRUE(lan.received.empty());
}

TEST(SimLan, BroadcastEchoComesBackToTheSender)
{
    SimLan lan;
    lan.Bind(kUdpPort);
    lan.echoBroadcast = true;
    const auto search = BuildUnsigned('O', kAllDevices, {});
    lan.SendTo(kBroadcastIp, kUdpPort, search.data(), search.size());
    const Received echo = Take(lan, 0);
    EXPECT_EQ(echo.length, search.size());
    EXPECT_EQ(echo.from, 0xC0A80164u);
}

TEST(SimLan, BindErrorIsThrownWithItsMessage)
{
    SimLan lan;
    lan.bindError = "The bound address is already in use";
    try {
        lan.Bind(kUdpPort);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "The bound address is already in use");
    }
    EXPECT_FALSE(lan.IsBound());
    lan.bindError.clear();
    lan.Bind(kUdpPort);
    EXPECT_TRUE(lan.IsBound());
}

TEST(SimLan, ClocksFollowRealTimeOnlyWhenAsked)
{
    SimLan lan;
    lan.utcBase = 1000;
    lan.Advance(2500);
    EXPECT_EQ(lan.UtcSeconds(), 1002);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(lan.NowMs(), 2500);

    lan.FollowRealTime(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const int64_t later = lan.NowMs();
    EXPECT_GE(later, 2530);
    EXPECT_FALSE(Take(lan, 200).length);   // virtual waits still cost no real time
    EXPECT_GE(lan.NowMs(), later + 200);
    EXPECT_LT(lan.NowMs(), later + 200 + 1000);

    lan.FollowRealTime(false);
    const int64_t frozen = lan.NowMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(lan.NowMs(), frozen);
}

} // namespace
