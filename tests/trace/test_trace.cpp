// The trace for support: one JSON line per datagram, what the link makes of it, the key material
// that never reaches the file, and the viewer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "link/aes.h"
#include "link/cmac.h"
#include "link/endpoint.h"
#include "link/frame.h"
#include "link/udpdev.h"
#include "sim/blocks.h"
#include "sim/simlan.h"
#include "trace/trace.h"

using nlohmann::json;

namespace {

constexpr uint32_t kIp = 0xC0A80114u;   // 192.168.1.20

std::filesystem::path TempFile(const std::string& name)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("olm-trace-" + std::to_string(::getpid()) + "-" + name + ".jsonl");
    std::filesystem::remove(path);
    return path;
}

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<json> Lines(const std::filesystem::path& path)
{
    std::vector<json> lines;
    std::istringstream in(ReadAll(path));
    for (std::string text; std::getline(in, text);) lines.push_back(json::parse(text));
    return lines;
}

std::string Hex(const uint8_t* bytes, std::size_t n)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < n; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 15];
    }
    return hex;
}

// Records the order in which datagrams pass, beneath the trace.
class Recorder : public Endpoint {
public:
    explicit Recorder(SimLan& lan) : lan_(lan) {}
    struct Passed {
        bool sent;
        std::vector<uint8_t> bytes;
    };
    std::vector<Passed> passed;

    using Endpoint::Receive;
    void Bind(uint16_t port) override { lan_.Bind(port); }
    bool IsBound() const override { return lan_.IsBound(); }
    void SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length) override
    {
        passed.push_back({true, {data, data + length}});
        lan_.SendTo(ip, port, data, length);
    }
    std::optional<std::size_t> Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs, uint32_t& fromIp,
                                       uint16_t& fromPort) override
    {
        const auto n = lan_.Receive(buffer, capacity, timeoutMs, fromIp, fromPort);
        if (n) passed.push_back({false, {buffer, buffer + *n}});
        return n;
    }
    std::vector<uint32_t> DirectedBroadcasts() override { return lan_.DirectedBroadcasts(); }
    int64_t NowMs() override { return lan_.NowMs(); }
    int64_t UtcSeconds() override { return lan_.UtcSeconds(); }

private:
    SimLan& lan_;
};

class Trace : public ::testing::Test {
protected:
    Trace() : id(MakeId(305, 42)), peer(lan.AddPeer(kIp, id, 2)), recorder(lan)
    {
        peer.deviceList = DeviceListBlock(1, 1, {DevSpec{id, 1, 0, 4, 8, 8, 2}});
        peer.blocks[0] = EmptyDoorBlock();
    }
    ~Trace() override
    {
        SetEndpoint(nullptr);
        std::filesystem::remove(file);
    }

    // The link's work with one controller: search, session, signed reads and a write.
    void Work(Endpoint& endpoint)
    {
        SetEndpoint(&endpoint);
        UdpDevSet set;
        set.Search();
        ASSERT_EQ(set.count, 1);
        UdpDev& dev = set[0];
        Block block{};
        ASSERT_GT(dev.ReadDevices(block), 0u);
        dev.EnsureSession();
        ASSERT_EQ(dev.ReadBlock(1, 0, block), kBlockLength);
        dev.WriteBlock(1, 0, kBlockLength, block.data());
        set.CloseAll();
    }

    SimLan lan;
    uint32_t id;
    ControllerPeer& peer;
    Recorder recorder;
    std::filesystem::path file = TempFile(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

}  // namespace

TEST_F(Trace, EveryDatagramAppearsOnceInOrderWithWhatTheLinkMakesOfIt)
{
    lan.latencyMs = 3;
    {
        TraceEndpoint trace(recorder, file, "olmconfig");
        Work(trace);
    }
    const std::vector<json> lines = Lines(file);
    ASSERT_EQ(lines.size(), recorder.passed.size() + 1);
    EXPECT_EQ(lines[0]["program"], "olmconfig");
    EXPECT_EQ(lines[0]["start"], "2024-05-17T00:00:00Z");
    EXPECT_TRUE(lines[0].contains("version"));
    // Time, direction and peer lead each line, for a reader without the viewer.
    const std::string text = ReadAll(file);
    const std::size_t second = text.find('\n') + 1;
    const std::string lead = R"({"ms":0,"dir":"send","ip":"255.255.255.255","port":45389,"len":12,)";
    EXPECT_EQ(text.substr(second, lead.size()), lead);

    int64_t lastMs = 0;
    std::string letters;
    for (std::size_t i = 0; i < recorder.passed.size(); ++i) {
        const json& line = lines[i + 1];
        const auto& passed = recorder.passed[i];
        EXPECT_EQ(line["dir"], passed.sent ? "send" : "recv") << i;
        EXPECT_EQ(line["ip"], i == 0 ? "255.255.255.255" : "192.168.1.20") << i;
        EXPECT_EQ(line["port"], 45389);
        EXPECT_EQ(line["len"], passed.bytes.size());
        EXPECT_GE(line["ms"].get<int64_t>(), lastMs) << i;
        lastMs = line["ms"].get<int64_t>();
        if (!line.value("masked", false)) {
            EXPECT_EQ(line["hex"], Hex(passed.bytes.data(), passed.bytes.size())) << i;
        }
        EXPECT_EQ(line["id"], i == 0 ? kAllDevices : id);
        EXPECT_EQ(line["dev"], i == 0 ? "*" : "K105_00042");
        const bool isSigned = line["signed"].get<bool>();
        EXPECT_EQ(line["check"], isSigned ? "code-ok" : "crc-ok") << i << line.dump();
        EXPECT_EQ(line.contains("counter"), isSigned);
        letters += line["letter"].get<std::string>();
    }
    // Search and its reply, the time frame; O K D (each with its reply); O C; c; O s.
    EXPECT_EQ(letters, "OOTOOKKDDOOCCccOOss");
    EXPECT_EQ(lines[2]["status"], 2);
    // The counter of the first signed request after K is 1, and its reply repeats it.
    EXPECT_EQ(lines[8]["counter"], 1);
    EXPECT_EQ(lines[9]["counter"], 1);
}

TEST_F(Trace, KeyMaterialAndTheSessionKeyNeverReachTheFile)
{
    {
        TraceEndpoint trace(recorder, file, "olmconfig");
        Work(trace);
    }
    const std::string text = ReadAll(file);
    std::vector<std::vector<uint8_t>> secrets;
    for (const auto& d : lan.received)
        if (d.bytes.size() == 28 && d.bytes[3] == 'K') secrets.emplace_back(d.bytes.begin() + 8, d.bytes.end());
    ASSERT_EQ(secrets.size(), 1u);
    const auto key = peer.SessionKey();
    secrets.emplace_back(key.begin(), key.end());
    // The session key held by the controller is the one the trace derived: the codes checked.
    EXPECT_NE(text.find("code-ok"), std::string::npos);
    for (const auto& secret : secrets) {
        for (std::size_t at = 0; at + 4 <= secret.size(); at += 4) {
            EXPECT_EQ(text.find(Hex(secret.data() + at, 4)), std::string::npos);
            EXPECT_EQ(text.find(std::string(secret.begin() + at, secret.begin() + at + 4)), std::string::npos);
        }
    }
    // The K reply: tag and identifier shown, the rest masked, and still known to be whole.
    bool seen = false;
    for (const json& line : Lines(file)) {
        if (line.value("tag", "") != "MMDK" || line["dir"] != "recv") continue;
        seen = true;
        EXPECT_EQ(line["hex"].get<std::string>().substr(16), std::string(40, 'x'));
        EXPECT_EQ(line["masked"], true);
        EXPECT_EQ(line["check"], "crc-ok");
    }
    EXPECT_TRUE(seen);
}

TEST_F(Trace, BadChecksNoKeyStrayDatagramsAndRefusedSendsAreShown)
{
    TraceWriter writer;
    // A signed frame of a controller whose K reply the trace has not seen.
    AES128 aes;
    CMAC cmac(aes);
    const std::array<uint8_t, 16> key{1, 2, 3};
    aes.SetKey(key.data());
    const auto signedFrame = BuildSigned(cmac, id, 7, 'D' | 0x80, std::vector<uint8_t>(3, 9));
    json line = json::parse(writer.Line(5, TraceDirection::Received, kIp, 45389, signedFrame));
    EXPECT_EQ(line["check"], "no-key");
    EXPECT_EQ(line["letter"], "D");
    EXPECT_EQ(line["counter"], 7);

    auto badCrc = BuildUnsigned('O', id, std::vector<uint8_t>(16, 0));
    badCrc[27] ^= 1;
    line = json::parse(writer.Line(6, TraceDirection::Received, kIp, 45389, badCrc));
    EXPECT_EQ(line["check"], "crc-bad");

    const std::vector<uint8_t> stray = {1, 2, 0xFF};
    line = json::parse(writer.Line(7, TraceDirection::Received, 0x0A000001u, 5000, stray));
    EXPECT_EQ(line["hex"], "0102ff");
    EXPECT_FALSE(line.contains("tag"));
    EXPECT_EQ(line["ip"], "10.0.0.1");
    EXPECT_EQ(line["port"], 5000);

    // A K reply of 15 bytes of material: masked all the same, no key learnt.
    const auto shortKey = BuildUnsigned('K', id, std::vector<uint8_t>(15, 0xAB));
    line = json::parse(writer.Line(8, TraceDirection::Received, kIp, 45389, shortKey));
    EXPECT_EQ(line["hex"].get<std::string>().find("ab"), std::string::npos);
    line = json::parse(writer.Line(9, TraceDirection::Received, kIp, 45389, signedFrame));
    EXPECT_EQ(line["check"], "no-key");

    // A code that does not verify with the key the trace derived.
    {
        struct Refusing : SimLan {
            void SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length) override
            {
                if (ip == 0x0A000009u) throw std::runtime_error("sendto: No route to host");
                SimLan::SendTo(ip, port, data, length);
            }
        } refusing;
        TraceEndpoint trace(refusing, file, "olmctl");
        const auto request = BuildUnsigned('O', kAllDevices, {});
        EXPECT_THROW(trace.SendTo(0x0A000009u, 45389, request.data(), request.size()), std::runtime_error);
    }
    const std::vector<json> lines = Lines(file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1]["error"], "sendto: No route to host");
    EXPECT_EQ(lines[1]["ip"], "10.0.0.9");
}

TEST_F(Trace, AWrongCodeIsShownAsSuch)
{
    peer.faults.badCode = 1;
    {
        TraceEndpoint trace(recorder, file, "olmconfig");
        SetEndpoint(&trace);
        UdpDevSet set;
        set.Search();
        Block block{};
        EXPECT_THROW(set[0].ReadDevices(block), UErr);   // kind 4
        SetEndpoint(nullptr);
    }
    std::vector<std::string> checks;
    for (const json& line : Lines(file))
        if (line.value("signed", false)) checks.push_back(line["check"]);
    EXPECT_EQ(checks, (std::vector<std::string>{"code-ok", "code-bad"}));
}

TEST_F(Trace, AFileIsAppendedToAndOneThatCannotBeOpenedIsAClearError)
{
    {
        TraceEndpoint first(lan, file, "olmconfig");
    }
    {
        TraceEndpoint second(lan, file, "olmsim");
    }
    const std::vector<json> lines = Lines(file);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["program"], "olmconfig");
    EXPECT_EQ(lines[1]["program"], "olmsim");

    const std::filesystem::path missing = "/nonexistent-olm-dir/trace.jsonl";
    for (const auto& bad : {missing, std::filesystem::temp_directory_path()}) {
        try {
            TraceEndpoint trace(lan, bad, "olmconfig");
            ADD_FAILURE() << bad;
        } catch (const std::runtime_error& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("Nie mo\u017Cna otworzy\u0107 pliku \u015Bladu \u201E" + bad.string() + "\u201D"),
                      std::string::npos)
                << message;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_TRUE(lan.sent.empty());
}

TEST(TraceView, PrintsOneAlignedLinePerDatagram)
{
    const std::string trace =
        R"({"start":"2024-05-17T00:00:00Z","program":"olmconfig","version":"1.3.3"})"
        "\n"
        R"({"ms":0,"dir":"send","ip":"255.255.255.255","port":45389,"len":12,"hex":"4d4d444fffffffff f8f31464","tag":"MMDO","id":4294967295,"dev":"*","signed":false,"letter":"O","check":"crc-ok"})"
        "\n"
        R"({"ms":1,"dir":"recv","ip":"192.168.1.20","port":45389,"len":28,"hex":"","tag":"MMDO","id":805437482,"dev":"K105_00042","signed":false,"letter":"O","check":"crc-ok","status":2})"
        "\r\n"
        R"({"ms":405,"dir":"recv","ip":"192.168.1.20","port":45389,"len":28,"hex":"","masked":true,"tag":"MMDK","id":805437482,"dev":"K105_00042","signed":false,"letter":"K","check":"crc-ok"})"
        "\n"
        R"({"ms":1203,"dir":"send","ip":"192.168.1.20","port":45389,"len":19,"hex":"","tag":"MMDC","id":805437482,"dev":"K105_00042","signed":true,"letter":"D","counter":3,"check":"code-bad"})"
        "\n\n"
        "not json\n"
        R"({"ms":1300,"dir":"recv","ip":"10.0.0.1","port":5000,"len":3,"hex":"0102ff"})"
        "\n"
        R"({"ms":1301,"dir":"send","ip":"10.0.0.9","port":45389,"len":12,"hex":"","tag":"MMDO","id":4294967295,"dev":"*","signed":false,"letter":"O","check":"crc-ok","error":"No route to host"})"
        "\n"
        R"({"ms":"x","dir":"send"})"
        "\n";
    std::istringstream in(trace);
    std::ostringstream out;
    EXPECT_FALSE(PrintTrace(in, out));
    const std::string expected =
        "--- olmconfig 1.3.3, start 2024-05-17T00:00:00Z\n"
        "       0 ms  ->  255.255.255.255:45389    12 B  MMDO  *           O    niepodpisana     CRC dobre\n"
        "       1 ms  <-  192.168.1.20:45389       28 B  MMDO  K105_00042  O    niepodpisana     CRC dobre, stan 0x02\n"
        "     405 ms  <-  192.168.1.20:45389       28 B  MMDK  K105_00042  K    niepodpisana     CRC dobre, klucz ukryty\n"
        "    1203 ms  ->  192.168.1.20:45389       19 B  MMDC  K105_00042  D    podpisana #3     kod z\u0142y\n"
        "wiersz 7: to nie jest wiersz \u015Bladu\n"
        "    1300 ms  <-  10.0.0.1:5000             3 B  (nie ramka protoko\u0142u)\n"
        "    1301 ms  ->  10.0.0.9:45389           12 B  MMDO  *           O    niepodpisana     CRC dobre, b\u0142\u0105d "
        "wysy\u0142ania: No route to host\n"
        "wiersz 10: to nie jest wiersz \u015Bladu\n";
    EXPECT_EQ(out.str(), expected);
}

TEST_F(Trace, TheViewerReadsWhatTheTraceWrote)
{
    {
        TraceEndpoint trace(recorder, file, "olmconfig");
        Work(trace);
    }
    std::ifstream in(file);
    std::ostringstream out;
    EXPECT_TRUE(PrintTrace(in, out));
    std::istringstream shown(out.str());
    std::vector<std::string> rows;
    for (std::string row; std::getline(shown, row);) rows.push_back(row);
    ASSERT_EQ(rows.size(), recorder.passed.size() + 1);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].substr(48, 4), "MMD" + rows[i].substr(51, 1)) << rows[i];   // one column for every tag
        EXPECT_NE(rows[i].find(recorder.passed[i - 1].sent ? " -> " : " <- "), std::string::npos) << rows[i];
    }
}
