// The search on a machine with several network cards, and the unicast sweep of target ranges for
// controllers behind a router; the --target values that name those ranges.
#include "lan_fixture.h"

#include <algorithm>
#include <map>

#include "link/target.h"

namespace {

constexpr uint32_t kCard1 = 0xC0A80164u;   // 192.168.1.100/24, the default route's card
constexpr uint32_t kCard2 = 0x0A140005u;   // 10.20.0.5/16
constexpr uint32_t kFar = 0x0A090800u;     // 10.9.8.0/24, behind a router

std::vector<uint8_t> SearchRequest() { return BuildUnsigned('O', kAllDevices, {}); }

int TimeFrames(const SimLan& lan, uint32_t to)
{
    return static_cast<int>(std::count_if(lan.sent.begin(), lan.sent.end(), [to](const SimLan::Datagram& d) {
        return d.toIp == to && d.bytes.size() == 16 && d.bytes[3] == 'T';
    }));
}

class Reach : public LanTest {
protected:
    Reach() { lan.interfaces = {{kCard1, 24}, {kCard2, 16}}; }
};

}  // namespace

TEST_F(Reach, EveryPassSendsTheLimitedBroadcastAndOneDirectedBroadcastPerCard)
{
    peer.faults.silent = true;
    UdpDevSet set;
    set.Search();
    const uint32_t expected[] = {0xFFFFFFFFu, 0xC0A801FFu, 0x0A14FFFFu};
    ASSERT_EQ(lan.sent.size(), 9u);
    for (std::size_t i = 0; i < lan.sent.size(); ++i) {
        EXPECT_EQ(lan.sent[i].toIp, expected[i % 3]) << i;
        EXPECT_EQ(lan.sent[i].port, 45389);
        EXPECT_EQ(lan.sent[i].atMs, static_cast<int64_t>(200 * (i / 3))) << i;
        EXPECT_EQ(lan.sent[i].bytes, SearchRequest());
    }
    EXPECT_EQ(set.count, 0);
}

TEST_F(Reach, AControllerThatHearsTwoCopiesIsListedOnceWithOneTimeFrame)
{
    // The fixture's controller (192.168.1.20) hears 255.255.255.255 and 192.168.1.255; one on the
    // second card's segment hears only 10.20.255.255; one behind a router hears neither.
    const uint32_t second = MakeId(305, 77);
    ControllerPeer& onSecond = lan.AddPeer(0x0A140309u, second, kInstalacja);
    ControllerPeer& far = lan.AddPeer(kFar | 77, MakeId(305, 99), kServis);
    UdpDevSet set;
    set.Search();

    ASSERT_EQ(set.count, 2);
    EXPECT_EQ(set[0].id, id);
    EXPECT_EQ(set[0].ip, kIp);
    EXPECT_EQ(set[1].id, second);
    EXPECT_EQ(set[1].ip, 0x0A140309u);
    // One pass was enough: three searches, then one time frame to each controller.
    EXPECT_EQ(lan.sent.size(), 5u);
    EXPECT_EQ(TimeFrames(lan, kIp), 1);
    EXPECT_EQ(TimeFrames(lan, 0x0A140309u), 1);
    ASSERT_EQ(peer.log.size(), 3u);   // it answered both copies
    EXPECT_EQ(peer.log[0].letter, 'O');
    EXPECT_EQ(peer.log[1].letter, 'O');
    EXPECT_EQ(peer.log[2].letter, 'T');
    EXPECT_EQ(onSecond.log.size(), 2u);
    EXPECT_TRUE(far.log.empty());
}

TEST_F(Reach, WithoutCardsTheSearchSendsOnlyTheLimitedBroadcast)
{
    lan.interfaces.clear();
    peer.faults.silent = true;
    UdpDevSet set;
    set.Search();
    ASSERT_EQ(lan.sent.size(), 3u);
    for (const auto& d : lan.sent) EXPECT_EQ(d.toIp, 0xFFFFFFFFu);
}

TEST_F(Reach, ATargetRangeIsSweptPacedAndItsControllerJoinsTheList)
{
    const uint32_t farId = MakeId(305, 99);
    ControllerPeer& far = lan.AddPeer(kFar | 77, farId, kServis);
    UdpDevSet set;
    set.targets = {{kFar, 24}};
    set.Search();

    ASSERT_EQ(set.count, 2);
    EXPECT_EQ(set[1].id, farId);
    EXPECT_EQ(set[1].ip, kFar | 77);
    EXPECT_TRUE(set[1].reachable);
    EXPECT_EQ(TimeFrames(lan, kFar | 77), 1);
    EXPECT_EQ(TimeFrames(lan, kIp), 1);
    ASSERT_EQ(far.log.size(), 2u);   // the unicast search, then its time frame
    EXPECT_EQ(far.lastTime, static_cast<uint32_t>(lan.UtcSeconds()));

    // One pass: every address of the /24 but .0 and .255 asked once, in ascending order, no more
    // than a burst of 16 per 10 ms, the last within 150 ms of the first.
    std::vector<SimLan::Datagram> unicast;
    for (const auto& d : lan.sent)
        if ((d.toIp & 0xFFFFFF00u) == kFar && d.bytes == SearchRequest()) unicast.push_back(d);
    ASSERT_EQ(unicast.size(), 254u);
    for (std::size_t i = 0; i < unicast.size(); ++i) EXPECT_EQ(unicast[i].toIp, kFar + 1 + i);
    const int64_t first = unicast.front().atMs;
    EXPECT_LE(unicast.back().atMs - first, 150);
    std::map<int64_t, int> perTick;
    for (const auto& d : unicast) ++perTick[(d.atMs - first) / UdpDevSet::kSweepTickMs];
    for (const auto& [tick, n] : perTick) EXPECT_LE(n, static_cast<int>(UdpDevSet::kSweepBurst)) << "tick " << tick;
    EXPECT_GE(perTick.size(), 254u / UdpDevSet::kSweepBurst);
    // The broadcasts went first, as without targets.
    EXPECT_EQ(lan.sent[0].toIp, 0xFFFFFFFFu);
    EXPECT_EQ(lan.sent[1].toIp, 0xC0A801FFu);
    EXPECT_EQ(lan.sent[2].toIp, 0x0A14FFFFu);
}

TEST_F(Reach, ASilentRangeIsSweptInEachOfTheThreePasses)
{
    peer.faults.silent = true;
    UdpDevSet set;
    set.targets = {{kFar, 24}, {kFar | 5, 32}};   // overlapping: every address still asked once a pass
    set.Search();
    EXPECT_EQ(set.count, 0);
    ASSERT_EQ(lan.sent.size(), 3u * (3 + 254));
    for (int pass = 0; pass < 3; ++pass) {
        const std::size_t at = static_cast<std::size_t>(pass) * (3 + 254);
        EXPECT_EQ(lan.sent[at].toIp, 0xFFFFFFFFu);
        EXPECT_EQ(lan.sent[at + 3].toIp, kFar + 1);
        EXPECT_EQ(lan.sent[at + 3 + 253].toIp, kFar + 254);
        if (pass > 0) {
            // Each pass ends with the same 200 ms collection as without targets.
            EXPECT_EQ(lan.sent[at].atMs - lan.sent[at - 1].atMs, 200);
        }
    }
}

TEST_F(Reach, AnAddressThatCannotBeSentToDoesNotStopTheSearch)
{
    // A card that went down since it was listed, and a target address with no route.
    struct RefusingLan : SimLan {
        std::vector<uint32_t> refused;
        void SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length) override
        {
            if (std::find(refused.begin(), refused.end(), ip) != refused.end())
                throw std::runtime_error("sendto: Network is unreachable");
            SimLan::SendTo(ip, port, data, length);
        }
    } refusing;
    refusing.refused = {0x0A14FFFFu, kFar | 3};
    refusing.interfaces = {{kCard1, 24}, {kCard2, 16}};
    refusing.AddPeer(kFar | 200, MakeId(305, 99), kServis);
    SetEndpoint(&refusing);
    UdpDevSet set;
    set.targets = {{kFar, 24}};
    set.Search();
    ASSERT_EQ(set.count, 1);
    EXPECT_EQ(set[0].ip, kFar | 200);
    // The limited broadcast, the first card's directed broadcast, then the range but its .3.
    EXPECT_EQ(refusing.sent[1].toIp, 0xC0A801FFu);
    EXPECT_EQ(refusing.sent[2].toIp, kFar | 1);
    EXPECT_EQ(refusing.sent[4].toIp, kFar | 4);
}

TEST(Target, ParsesAnAddressOrARangeOfAtMostASlash22)
{
    struct Case {
        const char* text;
        uint32_t network;
        int prefix;
        std::size_t hosts;
    };
    const Case cases[] = {
        {"10.0.0.5", 0x0A000005u, 32, 1},
        {"192.168.5.17/24", 0xC0A80500u, 24, 254},   // host bits of a range's address are dropped
        {"10.1.4.0/22", 0x0A010400u, 22, 1022},
        {"10.1.2.3/32", 0x0A010203u, 32, 1},
        {"10.1.2.3/31", 0x0A010202u, 31, 2},          // a point-to-point link: both are hosts
        {"10.1.2.0/30", 0x0A010200u, 30, 2},
        {"127.0.0.1", 0x7F000001u, 32, 1},
        {"223.255.255.254/23", 0xDFFFFE00u, 23, 510},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto range = ParseTarget(c.text, error);
        ASSERT_TRUE(range) << c.text << ": " << error;
        EXPECT_EQ(range->network, c.network) << c.text;
        EXPECT_EQ(range->prefix, c.prefix) << c.text;
        const TargetRange one[] = {*range};
        EXPECT_EQ(TargetHosts(one).size(), c.hosts) << c.text;
        EXPECT_TRUE(error.empty());
    }
    std::string error;
    EXPECT_EQ(TargetText(*ParseTarget("192.168.5.17/24", error)), "192.168.5.0/24");
    EXPECT_EQ(TargetText(*ParseTarget("10.0.0.5", error)), "10.0.0.5");
}

TEST(Target, ABadValueGetsAMessageThatNamesIt)
{
    struct Case {
        const char* text;
        const char* says;
    };
    const Case cases[] = {
        {"", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {"10.0.0", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {"10.0.0.1.2", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {"10.0.0.256", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {"10.0.0.1000", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {"10..0.1", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {" 10.0.0.1", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {"-1.0.0.1", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {"kontroler", "oczekiwano ADRES lub ADRES/PREFIKS"},
        {"10.0.0.1/", "oczekiwano liczby od 22 do 32"},
        {"10.0.0.1/33", "oczekiwano liczby od 22 do 32"},
        {"10.0.0.1/24x", "oczekiwano liczby od 22 do 32"},
        {"10.0.0.1/24/24", "oczekiwano liczby od 22 do 32"},
        {"10.0.0.0/21", "jest za du\u017Cy: najwy\u017Cej /22"},
        {"10.0.0.0/0", "jest za du\u017Cy: najwy\u017Cej /22"},
        {"0.0.0.0", "nie mo\u017Ce by\u0107 celem wyszukiwania"},
        {"224.0.0.1", "nie mo\u017Ce by\u0107 celem wyszukiwania"},
        {"255.255.255.255/24", "nie mo\u017Ce by\u0107 celem wyszukiwania"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseTarget(c.text, error)) << c.text;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << ": " << error;
        EXPECT_NE(error.find(std::string("\u201E") + c.text), std::string::npos) << c.text << ": " << error;
    }
}

TEST(Target, HostsOfSeveralRangesAreAscendingAndEachOnce)
{
    const TargetRange ranges[] = {{0x0A000100u, 24}, {0x0A000000u, 24}, {0x0A000105u, 32}, {0x0A000000u, 24}};
    const std::vector<uint32_t> hosts = TargetHosts(ranges);
    ASSERT_EQ(hosts.size(), 508u);
    EXPECT_EQ(hosts.front(), 0x0A000001u);
    EXPECT_TRUE(std::is_sorted(hosts.begin(), hosts.end()));
    EXPECT_EQ(std::adjacent_find(hosts.begin(), hosts.end()), hosts.end());
    EXPECT_EQ(std::count(hosts.begin(), hosts.end(), 0x0A0000FFu), 0);   // broadcast of the first
    EXPECT_EQ(std::count(hosts.begin(), hosts.end(), 0x0A000100u), 0);   // network of the second
    EXPECT_TRUE(TargetHosts({}).empty());
}
