// The unsigned exchange: attempts, timing in virtual milliseconds and the matching rules.
#include "lan_fixture.h"

#include "link/crc32.h"
#include "link/devid.h"

namespace {

// Rewrites an unsigned reply's check value after a test changed its bytes.
void Reseal(std::vector<uint8_t>& frame)
{
    PutU32(&frame[frame.size() - 4], Crc32(frame.data(), frame.size() - 4));
}

} // namespace

using Exchange = LanTest;

TEST_F(Exchange, AttemptsFollowReachable)
{
    peer.faults.silent = true;
    for (bool reachable : {true, false}) {
        lan.ClearLog();
        UdpDev dev = Found(reachable);
        const int64_t start = lan.NowMs();
        uint8_t status[16];
        EXPECT_EQ(dev.Exchange('O', nullptr, 0, sizeof status, status), 0u);
        const std::size_t attempts = reachable ? 3 : 1;
        ASSERT_EQ(lan.sent.size(), attempts);
        for (const auto& d : lan.sent) EXPECT_EQ(d.bytes, lan.sent[0].bytes);   // the same request again
        // Two 200 ms receives per silent attempt.
        EXPECT_EQ(lan.NowMs() - start, static_cast<int64_t>(400 * attempts));
    }
}

TEST_F(Exchange, WrongCheckValueSendsTheSameRequestAgain)
{
    peer.faults.badCrc = 1;
    UdpDev dev = Found();
    uint8_t status[16];
    EXPECT_EQ(dev.Exchange('O', nullptr, 0, sizeof status, status), 16u);
    ASSERT_EQ(lan.sent.size(), 2u);
    EXPECT_EQ(lan.sent[0].bytes, lan.sent[1].bytes);
}

TEST_F(Exchange, ForeignRepliesAreIgnoredAndTheWaitGoesOn)
{
    UdpDev dev = Found(false);   // one attempt: the right reply must come within it
    const std::vector<uint8_t> good = BuildUnsigned('O', id, std::vector<uint8_t>(16, 0x31));
    const std::vector<std::vector<uint8_t>> strays = {
        BuildUnsigned('K', id, std::vector<uint8_t>(16, 0x31)),                 // another letter
        BuildUnsigned('O', MakeId(305, 43), std::vector<uint8_t>(16, 0x31)),    // another controller
        std::vector<uint8_t>(good.begin(), good.begin() + 11),                 // 11 bytes
    };
    peer.faults.silent = true;
    int64_t at = lan.NowMs() + 10;
    for (const auto& s : strays) lan.Inject(kIp, s, at += 10);
    auto late = good;
    late[10] = 0x03;   // distinguishes the real reply
    Reseal(late);
    lan.Inject(kIp, late, at += 10);
    uint8_t status[16] = {};
    EXPECT_EQ(dev.Exchange('O', nullptr, 0, sizeof status, status), 16u);
    EXPECT_EQ(status[2], 0x03);
    EXPECT_EQ(lan.sent.size(), 1u);
}

TEST_F(Exchange, FloodOfForeignDatagramsCannotHoldTheWaitOpen)
{
    peer.faults.silent = true;
    UdpDev dev = Found(false);
    // A foreign datagram every 50 ms for a minute: without a deadline check after dropped
    // datagrams the wait would never end.
    const auto stray = BuildUnsigned('O', MakeId(305, 43), std::vector<uint8_t>(16, 0x31));
    for (int64_t t = 1; t < 60000; t += 50) lan.Inject(0x0A000001u, stray, t);
    uint8_t status[16];
    EXPECT_EQ(dev.Exchange('O', nullptr, 0, sizeof status, status), 0u);
    EXPECT_LE(lan.NowMs(), 400);
}

TEST_F(Exchange, LongReplyReturnsItsLengthAndCopiesTheMaximum)
{
    peer.mutateReply = [](const PeerRequest&, std::vector<uint8_t>& frame) {
        frame.insert(frame.end() - 4, {0xA1, 0xA2, 0xA3, 0xA4});   // 20 bytes of payload
        Reseal(frame);
    };
    UdpDev dev = Found();
    uint8_t status[17] = {};
    status[16] = 0x5A;
    EXPECT_EQ(dev.Exchange('O', nullptr, 0, 16, status), 20u);
    EXPECT_EQ(status[16], 0x5A);   // nothing copied beyond the maximum
}

TEST_F(Exchange, AcknowledgementMustBeTheSingleByte6)
{
    struct Case {
        std::vector<uint8_t> payload;
        bool acknowledged;
    };
    const Case cases[] = {{{6}, true}, {{7}, false}, {{6, 6}, false}, {{}, false}};
    for (const Case& c : cases) {
        peer.mutateReply = [&](const PeerRequest&, std::vector<uint8_t>& frame) {
            frame.resize(8);
            frame.insert(frame.end(), c.payload.begin(), c.payload.end());
            frame.resize(frame.size() + 4);
            Reseal(frame);
        };
        UdpDev dev = Found();
        if (c.acknowledged) {
            EXPECT_NO_THROW(dev.ExchangeAck('O', nullptr, 0));
        } else {
            try {
                dev.ExchangeAck('O', nullptr, 0);
                ADD_FAILURE() << "acknowledged " << c.payload.size() << " bytes";
            } catch (const UErr& e) {
                EXPECT_EQ(e.kind, 7);
                EXPECT_EQ(e.cmd, 'O');
            }
        }
    }
}

TEST_F(Exchange, StatusPoll)
{
    UdpDev dev = Found();
    dev.mode = 0;
    EXPECT_TRUE(dev.PollStatus());
    EXPECT_TRUE(dev.changed);   // the mode changed
    EXPECT_EQ(dev.mode, kServis);
    EXPECT_EQ(dev.ModeName(), "Serwis");
    EXPECT_TRUE(dev.PollStatus());
    EXPECT_FALSE(dev.changed);

    dev.hasSession = true;   // the controller reports no session: ours is gone
    EXPECT_TRUE(dev.PollStatus());
    EXPECT_FALSE(dev.hasSession);

    peer.faults.statusNotOne = true;
    EXPECT_FALSE(dev.PollStatus());
    EXPECT_TRUE(dev.changed);
    EXPECT_FALSE(dev.reachable);
    EXPECT_EQ(dev.ModeName(), "Niedost\xEApny");
    EXPECT_EQ(dev.mode, kServis);   // kept, only no longer shown
    const std::size_t before = lan.sent.size();
    EXPECT_FALSE(dev.PollStatus());
    EXPECT_FALSE(dev.changed);
    EXPECT_EQ(lan.sent.size() - before, 1u);   // unreachable: one attempt
}

TEST_F(Exchange, StatusReplyOfAnotherLengthIsNoAnswer)
{
    // 20 bytes of payload where the status has 16 (and byte 3 is still '1'): the exchange returns
    // 20, and the poll does not count it as an answer.
    peer.mutateReply = [](const PeerRequest&, std::vector<uint8_t>& frame) {
        frame.insert(frame.end() - 4, 4, 0);
        Reseal(frame);
    };
    UdpDev dev = Found();
    std::array<uint8_t, 16> status{};
    EXPECT_EQ(dev.Exchange('O', nullptr, 0, status.size(), status.data()), 20u);
    EXPECT_EQ(status[3], '1');
    EXPECT_FALSE(dev.PollStatus());
    EXPECT_FALSE(dev.reachable);
}

TEST(Texts, DeviceNamesAndListLine)
{
    struct Case {
        uint32_t typeCode, serial;
        const char* name;
    };
    const Case cases[] = {{305, 42, "K105_00042"}, {7, 7, "R107_00007"}, {950, 1, "?150_00001"},
                          {800, 65535, "?100_65535"}, {1023, 0, "?123_00000"}, {199, 3, "T199_00003"}};
    for (const Case& c : cases) EXPECT_EQ(DevName(MakeId(c.typeCode, c.serial)), c.name);
    EXPECT_STREQ(TypeName(9), "Nieznany typ");
    EXPECT_STREQ(TypeName(8), "Nieznany typ");
    EXPECT_STREQ(TypeName(10), "Nieznany typ");
    EXPECT_STREQ(TypeName(3), " Kontroler");

    UdpDev dev;
    dev.id = MakeId(305, 42);
    dev.ip = 0xC0A80114u;
    dev.mode = 3;
    dev.reachable = true;
    EXPECT_EQ(dev.IpText(), "192.168.1.20");
    EXPECT_EQ(dev.ListLine(), " K105_00042,  192.168.1.20,  Instalacja");
}
