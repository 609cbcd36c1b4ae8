// Snapshot files: what they hold, round trips, and every refusal with its message.
#include <nlohmann/json.hpp>

#include <functional>
#include <string>

#include "fixture.h"
#include "snapshot/text.h"
#include "snapshot/view.h"
#include "tests/common/cp1250.h"

namespace {

using nlohmann::json;

TEST(SnapshotFile, RoundTripsEverySampleExactly)
{
    for (const int header : {0x14, 0x18, 0x21}) {
        const Snapshot snap = SnapOf(Sample(header));
        const std::string text = EncodeSnapshot(snap);
        Snapshot back;
        std::string problem;
        ASSERT_TRUE(DecodeSnapshot(text, back, problem)) << problem;
        EXPECT_EQ(back, snap);
        EXPECT_EQ(EncodeSnapshot(back), text);
    }
}

TEST(SnapshotFile, HoldsTheRecordsExactlyAsSentAndTheDecodedViewBesideThem)
{
    SampleController c = Sample(0x18);
    c.blocks[0][kParamOffset + 4] = 200;                          // a time that decoding would limit
    c.blocks[0][kParamOffset + 9] = 0x5A;                         // a byte nothing interprets
    c.blocks[5] = {1, 6, 10, 3, 0, 0, 0, 0};                      // another header: not read
    c.blocks[5].resize(kBlockLength, 0);
    const Snapshot snap = SnapOf(c);
    EXPECT_EQ(snap.records[0].bytes[kParamsAt + 4], 200);
    EXPECT_EQ(snap.records[0].bytes[kParamsAt + 9], 0x5A);
    EXPECT_FALSE(snap.records[5].read);

    const json doc = json::parse(EncodeSnapshot(snap));
    EXPECT_EQ(doc["format"], "olm-snapshot");
    EXPECT_EQ(doc["version"], 1);
    EXPECT_EQ(doc["taken"], "2024-05-17T08:00:00Z");
    EXPECT_EQ(doc["program"], "olmctl 1.3.3");
    EXPECT_EQ(doc["controller"]["name"], "K105_01502");
    EXPECT_EQ(doc["controller"]["ip"], "192.168.1.22");
    EXPECT_EQ(doc["controller"]["mode"], "Serwis");
    EXPECT_EQ(doc["kind"], "doors");
    EXPECT_EQ(doc["doorCount"], 8);
    EXPECT_EQ(doc["devices"][5]["name"], "R107_00405");
    EXPECT_EQ(doc["devices"][5]["status"], 0x80);
    const json& door1 = doc["doors"][0];
    EXPECT_EQ(door1["door"], 1);
    EXPECT_EQ(door1["record"], HexText(&c.blocks[0][kBlockHeader], kRecordLength));
    EXPECT_EQ(door1["decoded"]["name"], "Recepcja");
    EXPECT_EQ(door1["decoded"]["lock"], "K105_01502:Out1");
    EXPECT_EQ(door1["decoded"]["reader2"], "R107_00405:Rd1");
    EXPECT_EQ(door1["decoded"]["reader2Exit"], true);
    EXPECT_EQ(door1["decoded"]["alarm"], nullptr);
    EXPECT_EQ(door1["decoded"]["lockPulse"], 100.0);
    EXPECT_EQ(doc["doors"][1]["decoded"]["alarm"], "K105_01502:Out6 NC");
    EXPECT_EQ(doc["doors"][1]["decoded"]["airlock"], 1);
    EXPECT_EQ(doc["doors"][2]["decoded"]["name"], "Łącznik");
    EXPECT_EQ(doc["doors"][5], json({{"door", 6}, {"read", false}}));
}

TEST(SnapshotFile, LiftHoldsOneRecordWithOutputSets)
{
    const json doc = json::parse(EncodeSnapshot(SnapOf(Sample(0x21))));
    EXPECT_EQ(doc["kind"], "lift");
    EXPECT_FALSE(doc.contains("doors"));
    EXPECT_EQ(doc["lift"]["decoded"]["floors1"], "D105_00031:Set1");
    EXPECT_EQ(doc["lift"]["decoded"]["floors25"], "D105_00032:Set1");
    EXPECT_EQ(doc["lift"]["decoded"]["input1"], "K110_00077:In1");
    EXPECT_EQ(doc["lift"]["decoded"]["mainsFailure"], "D105_00031:In1 NC");
    EXPECT_EQ(doc["lift"]["decoded"]["unlockTime"], 3.0);
}

// Each refusal: a change to a valid file, and what the message must say.
struct Refusal {
    const char* what;
    std::function<void(json&)> change;
    const char* message;
};

TEST(SnapshotFile, RefusesEveryMalformedFileNamingWhatIsWrong)
{
    const std::string good = EncodeSnapshot(SnapOf(Sample(0x14)));
    const Refusal cases[] = {
        {"format", [](json& d) { d["format"] = "olm-scenario"; }, "format \"olm-scenario\" zamiast \"olm-snapshot\""},
        {"no format", [](json& d) { d.erase("format"); }, "brak pola \"format\""},
        {"newer version", [](json& d) { d["version"] = 2; }, "wersja 2 kopii jest nowsza niż obsługiwana (1)"},
        {"version as text", [](json& d) { d["version"] = "1"; }, "pole \"version\" musi być liczbą całkowitą"},
        {"no time", [](json& d) { d.erase("taken"); }, "brak pola \"taken\""},
        {"short record", [](json& d) { d["doors"][1]["record"] = d["doors"][1]["record"].get<std::string>().substr(2); },
         "przejście 2: zapis ma 103 bajty zamiast 104"},
        {"long record", [](json& d) { d["doors"][0]["record"] = d["doors"][0]["record"].get<std::string>() + "00"; },
         "przejście 1: zapis ma 105 bajtów zamiast 104"},
        {"record not hex", [](json& d) { d["doors"][0]["record"] = std::string(208, 'x'); },
         "pole \"doors[0].record\" nie jest zapisem szesnastkowym"},
        {"decoded disagrees", [](json& d) { d["doors"][0]["decoded"]["lock"] = "K105_01201:Out2"; },
         "przejście 1: część opisowa nie zgadza się z surowym zapisem (pole \"lock\": \"K105_01201:Out2\", a z zapisu "
         "wynika \"K105_01201:Out1\")"},
        {"decoded name", [](json& d) { d["doors"][2]["decoded"]["name"] = "Sala"; }, "przejście 3: część opisowa"},
        {"decoded missing", [](json& d) { d["doors"][0]["decoded"].erase("openTime"); },
         "przejście 1: w części opisowej brak pola \"openTime\""},
        {"decoded extra", [](json& d) { d["doors"][0]["decoded"]["colour"] = "red"; },
         "przejście 1: nieznane pole \"colour\""},
        {"device disagrees", [](json& d) { d["devices"][1]["name"] = "R107_00999"; }, "urządzenie na pozycji 1: część opisowa"},
        {"device missing", [](json& d) { d["devices"].erase(5); }, "pole \"devices\" musi mieć 6 wpisów"},
        {"device list", [](json& d) { d["deviceList"] = "6d0014000000"; }, "lista urządzeń (\"deviceList\") jest nieprawidłowa"},
        {"kind", [](json& d) { d["kind"] = "lift"; }, "pole \"kind\" (\"lift\") nie zgadza się z listą urządzeń"},
        {"door count", [](json& d) { d["doorCount"] = 3; }, "pole \"doorCount\" (3) nie zgadza się z listą urządzeń (4)"},
        {"doors missing", [](json& d) { d["doors"].erase(3); }, "pole \"doors\" musi mieć 4 wpisy"},
        {"door number", [](json& d) { d["doors"][1]["door"] = 3; }, "pole \"doors[1].door\" ma numer 3 zamiast 2"},
        {"unread with record", [](json& d) { d["doors"][0]["read"] = false; }, "przejście 1: oznaczone jako nieodczytane"},
        {"controller name", [](json& d) { d["controller"]["name"] = "K105_09999"; }, "kontroler: część opisowa"},
        {"controller address", [](json& d) { d["controller"]["ip"] = "192.168.1"; }, "pole \"controller.ip\" nie jest adresem IPv4"},
        {"controller id", [](json& d) { d["controller"]["id"] = -1; }, "pole \"controller.id\" musi być liczbą całkowitą"},
        {"lift in doors", [](json& d) { d["lift"] = json::object(); }, "kopia kontrolera przejść nie może mieć pola \"lift\""},
    };
    for (const Refusal& c : cases) {
        json doc = json::parse(good);
        c.change(doc);
        Snapshot snap;
        std::string problem;
        EXPECT_FALSE(DecodeSnapshot(doc.dump(), snap, problem)) << c.what;
        EXPECT_NE(problem.find(c.message), std::string::npos) << c.what << ": " << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << c.what;
        EXPECT_EQ(snap, Snapshot{}) << c.what;
    }
}

TEST(SnapshotFile, RefusesWhatIsNotASnapshotAtAll)
{
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "to nie jest poprawny JSON"},
        {"{\"format\": \"olm-snapshot\",", "to nie jest poprawny JSON (błąd w bajcie"},
        {"[1, 2]", "plik nie zawiera obiektu JSON"},
        {"{}", "brak pola \"format\""},
    };
    for (const auto& c : cases) {
        Snapshot snap;
        std::string problem;
        EXPECT_FALSE(DecodeSnapshot(c.text, snap, problem)) << c.text;
        EXPECT_NE(problem.find(c.message), std::string::npos) << c.text << ": " << problem;
    }
}

TEST(ResourceText, NamesResourcesInDeviceTerms)
{
    BusDevSet devs;
    ASSERT_TRUE(SnapshotDevices(SnapOf(Sample(0x18)), devs));
    const uint32_t controller = Sample(0x18).id;
    const struct {
        ResId id;
        ResKind kind;
        OwnNames names;
        const char* text;
    } cases[] = {
        {0x0000, ResKind::Output, OwnNames::DeviceName, "K105_01502:Out1"},
        {0x0085, ResKind::Output, OwnNames::DeviceName, "K105_01502:Out6 NC"},
        {0x0085, ResKind::Output, OwnNames::AsController, "kontroler:Out6 NC"},
        {0x0607, ResKind::Input, OwnNames::AsController, "D102_00031:In8"},
        {0x0500, ResKind::Reader, OwnNames::DeviceName, "R107_00405:Rd1"},
        {0x0580, ResKind::Reader, OwnNames::DeviceName, "R107_00405:Rd1 [0x80]"},   // no NC on a reader
        {0x0621, ResKind::Input, OwnNames::DeviceName, "D102_00031:In2 [0x20]"},
        {0x0C00, ResKind::Output, OwnNames::DeviceName, "?12:Out1"},                 // beyond the list
        {0x8000, ResKind::Output, OwnNames::DeviceName, "?128:Out1"},
        {kNoRes, ResKind::Output, OwnNames::DeviceName, "---"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResourceText(c.id, c.kind, devs, controller, c.names), c.text) << c.id;
}

TEST(ShowText, ListsTheDevicePanelAndEveryFunction)
{
    const std::string text = ShowText(SnapOf(Sample(0x18)));
    for (const char* line : {"K105_01502  192.168.1.22  Serwis\n", " Kontroler: K105_01502/A1\n",
                             "    Czytnik: R107_00405/A1,   (nieaktywny)\n", "      Moduł: D102_00031/A2\n",
                             "Przejście 3:\n  Nazwa: Łącznik\n", "  Rygiel: K105_01502:Out1\n",
                             "  Alarm: K105_01502:Out6 NC\n", "  Wyjście (czytnik 2): tak\n", "  Śluza: Śluza 1\n",
                             "  Otwieranie klamką: tak\n", "  Impuls otwarcia rygla: 3 s\n", "  Typ: Zablokowane\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    const std::string lift = ShowText(SnapOf(Sample(0x21)));
    EXPECT_NE(lift.find("  Piętra 1..8: D105_00031:Set1\n"), std::string::npos);
    EXPECT_NE(lift.find("  Czas odblokowania przycisków: 3 s\n"), std::string::npos);
}

TEST(Text, ConvertsBetweenCp1250AndUtf8)
{
    EXPECT_EQ(Utf8FromCp1250(Cp1250("Łącznik, żółw")), "Łącznik, żółw");
    // Undefined bytes and control characters are shown, never passed to a terminal.
    EXPECT_EQ(Utf8FromCp1250(std::string("A\x81" "B\x01" "C\x1B", 6)), "A\\x81B\\x01C\\x1B");
    EXPECT_EQ(Cp1250FromUtf8("Budynek A, piętro 2, €"), Cp1250("Budynek A, piętro 2, €"));
    EXPECT_EQ(Cp1250FromUtf8("Dach 漢 \xFF"), "Dach ? ?");
    EXPECT_EQ(Counted(1, "bajt", "bajty", "bajtów"), "1 bajt");
    EXPECT_EQ(Counted(22, "bajt", "bajty", "bajtów"), "22 bajty");
    EXPECT_EQ(Counted(12, "bajt", "bajty", "bajtów"), "12 bajtów");
}

} // namespace
