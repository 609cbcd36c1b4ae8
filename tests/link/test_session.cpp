// The signed session: K, the counter, the code, the session states and the commands on top.
#include "lan_fixture.h"

#include <functional>

#include "link/aes.h"
#include "link/cmac.h"

namespace {

// Calls f and returns the UErr kind and letter it raised, or {0, 0} when it raised none.
template <class F>
std::pair<int, char> Raised(F&& f)
{
    try {
        f();
    } catch (const UErr& e) {
        return {e.kind, e.cmd};
    }
    return {0, 0};
}

std::vector<uint8_t> Hex(const char* hex)
{
    std::vector<uint8_t> bytes;
    for (const char* p = hex; p[0] != 0 && p[1] != 0; p += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    return bytes;
}

} // namespace

using Session = LanTest;

TEST_F(Session, KnownAnswersComputedOutsideTheProject)
{
    // The link and the controller peer share the cipher, the CMAC and the frame builders, so these
    // values were computed with OpenSSL 3.0 instead:
    //   key  = openssl enc -aes-128-ecb -K 00112233445566778899aabbccddeeff -nopad   (of the material)
    //   code = openssl mac -cipher AES-128-CBC -macopt hexkey:<key> CMAC          (of the request)
    const auto material = Hex("00112233445566778899aabbccddeeff");
    const auto sessionKey = Hex("62f679be2bf0d931641e039ca3401bb2");
    const uint32_t kat = 0x31310012u;   // K105_00018
    ControllerPeer& other = lan.AddPeer(0xC0A80116u, kat, kServis);
    other.mutateReply = [&](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'K') frame = BuildUnsigned('K', kat, material);   // the controller's key material
    };
    UdpDev dev;
    dev.id = kat;
    dev.ip = 0xC0A80116u;
    dev.mode = kServis;
    dev.reachable = true;
    dev.EnsureSession();
    EXPECT_EQ(std::vector<uint8_t>(dev.sessionKey.begin(), dev.sessionKey.end()), sessionKey);

    // The first signed request after K: D with counter 1, then C (1, 3) with counter 2. The peer
    // holds another key, so it answers neither; only the bytes sent matter here.
    lan.ClearLog();
    Block block{};
    EXPECT_EQ(Raised([&] { dev.SignedExchange('D', nullptr, 0, block.size(), block.data()); }), std::make_pair(6, 'D'));
    ASSERT_FALSE(lan.sent.empty());
    EXPECT_EQ(lan.sent[0].bytes, Hex("4d4d444312003131010044" "6e4dbc19ae4c1025"));
    dev.seq = 1;
    lan.ClearLog();
    EXPECT_EQ(Raised([&] { dev.ReadBlock(1, 3, block); }), std::make_pair(6, 'C'));
    ASSERT_FALSE(lan.sent.empty());
    EXPECT_EQ(lan.sent[0].bytes, Hex("4d4d4443120031310200430103" "98f5f6ba784516dc"));
}

TEST_F(Session, ExactLengthsOfReplies)
{
    // Replies as a controller might get them wrong, each re-signed with the session key so that
    // only its length is at fault.
    UdpDev dev = Found();
    dev.EnsureSession();
    AES128 aes;
    CMAC cmac(aes);
    std::vector<uint8_t> payload;
    bool resign = false;
    peer.mutateReply = [&](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (!resign || !req.isSigned) return;
        aes.SetKey(peer.SessionKey().data());
        frame = BuildSigned(cmac, id, req.counter, static_cast<uint8_t>(req.letter | 0x80), payload);
    };
    resign = true;
    payload = {6, 6};   // two bytes where the acknowledgement is one: kind 5
    EXPECT_EQ(Raised([&] { dev.SignedExchangeAck('S', nullptr, 0); }), std::make_pair(5, 'S'));
    payload = {};       // nothing at all: kind 7
    EXPECT_EQ(Raised([&] { dev.SignedExchangeAck('S', nullptr, 0); }), std::make_pair(7, 'S'));
    payload = {6};
    EXPECT_EQ(Raised([&] { dev.SignedExchangeAck('S', nullptr, 0); }), std::make_pair(0, '\0'));

    // A signed reply shorter than 19 bytes is not a reply: the attempts go on, then kind 6.
    resign = false;
    peer.mutateReply = [](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.isSigned) frame.resize(18);
    };
    lan.ClearLog();
    EXPECT_EQ(Raised([&] { dev.SignedExchangeAck('S', nullptr, 0); }), std::make_pair(6, 'S'));
    EXPECT_EQ(lan.sent.size(), 3u);

    // Without a session of this program a signed exchange makes one attempt.
    peer.mutateReply = nullptr;
    dev.hasSession = false;
    peer.faults.silent = true;
    lan.ClearLog();
    EXPECT_EQ(Raised([&] { dev.SignedExchangeAck('S', nullptr, 0); }), std::make_pair(6, 'S'));
    EXPECT_EQ(lan.sent.size(), 1u);
}

TEST_F(Session, CloseGivesUpTheSessionWhateverTheAnswer)
{
    // The status poll is answered; the acknowledgement of s has a wrong code, is missing, or is not
    // the byte 6. The session is given up in every case: hasSession is clear afterwards.
    AES128 aes;
    CMAC cmac(aes);
    const auto resigned = [&](const PeerRequest& r, std::vector<uint8_t> payload) {
        aes.SetKey(peer.SessionKey().data());
        return BuildSigned(cmac, id, r.counter, static_cast<uint8_t>(r.letter | 0x80), payload);
    };
    struct Case {
        const char* what;
        std::function<void(const PeerRequest&, std::vector<uint8_t>&)> answer;
        int kind;
    };
    const Case cases[] = {
        {"wrong code", [](const PeerRequest&, std::vector<uint8_t>& f) { f.back() ^= 0xFF; }, 4},
        {"no answer", [](const PeerRequest&, std::vector<uint8_t>& f) { f.clear(); }, 6},
        {"not acknowledged", [&](const PeerRequest& r, std::vector<uint8_t>& f) { f = resigned(r, {0x15}); }, 7},
    };
    for (const Case& c : cases) {
        peer.mutateReply = nullptr;
        UdpDev dev = Found();
        dev.EnsureSession();
        peer.mutateReply = [&](const PeerRequest& r, std::vector<uint8_t>& f) {
            if (r.letter == 's') c.answer(r, f);
        };
        EXPECT_EQ(Raised([&] { dev.CloseSession(); }), std::make_pair(c.kind, 's')) << c.what;
        EXPECT_FALSE(dev.hasSession) << c.what;
    }
}

TEST_F(Session, OpensLazilyAndSignsEveryRequest)
{
    UdpDev dev = Found();
    Block block{};
    peer.deviceList = DeviceListBlock(1, 4, {{id, 3, 0, 4, 8, 8, 0}});
    EXPECT_EQ(dev.ReadDevices(block), peer.deviceList.size());
    EXPECT_EQ(SentLetters(), "OKD");
    EXPECT_TRUE(dev.hasSession);
    EXPECT_EQ(dev.seq, 1);
    ASSERT_EQ(peer.log.size(), 3u);
    EXPECT_TRUE(peer.log[2].isSigned);
    EXPECT_TRUE(peer.log[2].codeOk);
    EXPECT_EQ(peer.log[2].counter, 1);   // the first signed request after K
    EXPECT_TRUE(std::equal(peer.deviceList.begin(), peer.deviceList.end(), block.begin()));

    // The session is ours now: the next read polls and goes straight to D.
    lan.ClearLog();
    EXPECT_EQ(dev.ReadDevices(block), peer.deviceList.size());
    EXPECT_EQ(SentLetters(), "OD");
    EXPECT_EQ(peer.log.back().counter, 2);
}

TEST_F(Session, RetransmissionsCarryFreshCountersAndCodes)
{
    UdpDev dev = Found();
    dev.EnsureSession();
    dev.seq = 65534;   // and the counter wraps from 65535 to 0
    peer.faults.dropReplies = 3;
    lan.ClearLog();
    peer.log.clear();
    Block block{};
    EXPECT_EQ(Raised([&] { dev.ReadBlock(1, 0, block); }), std::make_pair(6, 'C'));
    ASSERT_EQ(peer.log.size(), 3u);
    const uint16_t counters[] = {65535, 0, 1};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(peer.log[i].counter, counters[i]);
        EXPECT_TRUE(peer.log[i].codeOk);
    }
    EXPECT_NE(lan.sent[0].bytes, lan.sent[1].bytes);
    EXPECT_TRUE(dev.hasSession);   // kind 6 keeps the session
    EXPECT_EQ(dev.seq, 1);
}

TEST_F(Session, WrongCodeRaisesKind4AtOnce)
{
    UdpDev dev = Found();
    dev.EnsureSession();
    lan.ClearLog();
    peer.faults.badCode = 1;
    Block block{};
    EXPECT_EQ(Raised([&] { dev.ReadBlock(1, 0, block); }), std::make_pair(4, 'C'));
    EXPECT_EQ(lan.sent.size(), 1u);
    EXPECT_TRUE(dev.hasSession);
}

TEST_F(Session, PayloadLengthLimits)
{
    UdpDev dev = Found();
    dev.EnsureSession();
    Block block{};
    // An empty payload: a reply of exactly 19 bytes.
    peer.blocks[0].clear();
    EXPECT_EQ(dev.ReadBlock(1, 0, block), 0u);
    // 1401 bytes: the first 1400 are copied, then kind 5.
    peer.blocks[0].assign(1401, 0x5A);
    block.fill(0);
    EXPECT_EQ(Raised([&] { dev.ReadBlock(1, 0, block); }), std::make_pair(5, 'C'));
    EXPECT_EQ(block[1399], 0x5A);
}

TEST_F(Session, KeyMaterialOfWrongLengthRefusesTheSession)
{
    for (int length : {15, 17, 0}) {
        peer.faults.keyLength = length;
        UdpDev dev = Found();
        EXPECT_EQ(Raised([&] { dev.EnsureSession(); }), std::make_pair(3, '\0')) << length;
        EXPECT_FALSE(dev.hasSession);
    }
}

TEST_F(Session, ForeignSessionRaisesKind2WithoutK)
{
    peer.faults.foreignSession = true;
    UdpDev dev = Found();
    EXPECT_EQ(Raised([&] { dev.EnsureSession(); }), std::make_pair(2, '\0'));
    EXPECT_EQ(SentLetters(), "O");

    // The quiet read sends nothing at all.
    lan.ClearLog();
    Block block{};
    std::size_t length = 99;
    EXPECT_FALSE(dev.TryReadDevices(block, length));
    EXPECT_TRUE(lan.sent.empty());
}

TEST_F(Session, DroppedSessionIsOpenedAgain)
{
    UdpDev dev = Found();
    dev.EnsureSession();
    peer.DropSession();   // e.g. 30 s without traffic
    lan.ClearLog();
    dev.EnsureSession();
    EXPECT_EQ(SentLetters(), "OK");
    EXPECT_TRUE(dev.hasSession);
    EXPECT_EQ(dev.seq, 0);
}

TEST_F(Session, SilentControllerRaisesKind1)
{
    peer.faults.silent = true;
    UdpDev dev = Found();
    EXPECT_EQ(Raised([&] { dev.EnsureSession(); }), std::make_pair(1, '\0'));
    EXPECT_FALSE(dev.reachable);
}

TEST_F(Session, KeepAliveAndClose)
{
    UdpDev dev = Found();
    dev.KeepAlive();   // no session: nothing
    EXPECT_TRUE(lan.sent.empty());
    dev.EnsureSession();
    lan.ClearLog();
    dev.KeepAlive();
    EXPECT_EQ(SentLetters(), "OS");
    lan.ClearLog();
    dev.CloseSession();
    EXPECT_EQ(SentLetters(), "Os");
    EXPECT_FALSE(dev.hasSession);
    EXPECT_FALSE(peer.HasSession(lan.NowMs()));

    // An unreachable controller gets nothing at the close.
    dev.EnsureSession();
    dev.reachable = false;
    lan.ClearLog();
    dev.CloseSession();
    EXPECT_TRUE(lan.sent.empty());
    EXPECT_TRUE(dev.hasSession);
}

TEST_F(Session, ModesThatAllowNoReadSendNothing)
{
    for (uint8_t mode : {uint8_t{0}, uint8_t{1}}) {
        UdpDev dev = Found();
        dev.mode = mode;
        Block block{};
        block[0] = 0x77;
        std::size_t length = 0;
        EXPECT_EQ(dev.ReadDevices(block), 0u);
        EXPECT_FALSE(dev.TryReadDevices(block, length));
        EXPECT_EQ(block[0], 0x77);
    }
    EXPECT_TRUE(lan.sent.empty());
}

TEST_F(Session, TryReadDevicesOpensWithoutPolling)
{
    peer.deviceList = DeviceListBlock(1, 1, {{id, 1, 0, 4, 0, 4, 0}});
    UdpDev dev = Found();
    Block block{};
    std::size_t length = 0;
    EXPECT_TRUE(dev.TryReadDevices(block, length));
    EXPECT_EQ(length, peer.deviceList.size());
    EXPECT_EQ(SentLetters(), "KD");
    peer.deviceList.clear();   // an empty reply is no list
    EXPECT_FALSE(dev.TryReadDevices(block, length));
}

TEST_F(Session, CommandPayloads)
{
    UdpDev dev = Found();
    dev.ReplaceDevice(0x0305);
    ASSERT_FALSE(peer.log.empty());
    EXPECT_EQ(peer.log.back().letter, 'R');
    EXPECT_EQ(peer.log.back().payload, (std::vector<uint8_t>{0x05, 0x03}));

    dev.DeleteInactive();
    EXPECT_EQ(peer.log.back().letter, 'F');
    EXPECT_TRUE(peer.log.back().payload.empty());

    std::vector<uint8_t> record(104);
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<uint8_t>(i);
    dev.WriteBlock(1, 3, record.size(), record.data());
    EXPECT_EQ(peer.log.back().letter, 'c');
    ASSERT_EQ(peer.log.back().payload.size(), 106u);
    EXPECT_EQ(peer.log.back().payload[0], 1);
    EXPECT_EQ(peer.log.back().payload[1], 3);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), peer.log.back().payload.begin() + 2));

    // A block too long for the request is refused before anything is sent.
    lan.ClearLog();
    std::vector<uint8_t> tooLong(1399);
    EXPECT_THROW(dev.WriteBlock(1, 0, tooLong.size(), tooLong.data()), std::length_error);
    EXPECT_TRUE(lan.sent.empty());

    // A missing acknowledgement: kind 7 with the letter.
    dev.EnsureSession();
    peer.faults.noAckBlock = 2;
    EXPECT_EQ(Raised([&] { dev.WriteBlock(1, 2, record.size(), record.data()); }), std::make_pair(7, 'c'));
}

TEST_F(Session, SetDestructionClosesSessionsAndSwallowsFailures)
{
    auto& second = lan.AddPeer(0xC0A80115u, MakeId(305, 43), kServis);
    {
        UdpDevSet set;
        set.Search();
        ASSERT_EQ(set.count, 2);
        set[0].EnsureSession();
        set[1].EnsureSession();
        // The second one stops acknowledging: its close fails, and the failure stays inside.
        second.mutateReply = [](const PeerRequest& r, std::vector<uint8_t>& frame) {
            if (r.letter == 's') frame.clear();
        };
        lan.ClearLog();
    }
    EXPECT_EQ(SentLetters().substr(0, 2), "Os");
    EXPECT_FALSE(peer.HasSession(lan.NowMs()));
    EXPECT_EQ(std::count_if(peer.log.begin(), peer.log.end(), [](const PeerRequest& r) { return r.letter == 's'; }), 1);
}
