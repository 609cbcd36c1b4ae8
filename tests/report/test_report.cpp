// The configuration report: the worked example byte for byte, and the layout's edge cases.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "model/ctrlcfg.h"
#include "report/report.h"
#include "tests/common/cp1250.h"
#include "tests/model/listblock.h"

#ifndef OLM_REPORT_DATA
#error "OLM_REPORT_DATA must name the folder of the report fixtures"
#endif

namespace {

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "unterminated last line";
        if (end == std::string::npos) break;
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

const uint32_t kControllerId = Id(kControllerType, 42);

// The controller of the worked example: K105_00042/A3 with R107_00007/A1, R107_00019/A1 and
// D102_01234/A2 (listed out of display order, so that the report must follow the sort).
struct WorkedExample : ::testing::Test {
    void SetUp() override
    {
        ASSERT_TRUE(devs.Decode(ListBlock(0x12, {{kControllerId, 3, 0, 4, 8, 6, 2},
                                                 {Id(kModuleType, 1234), 2, 0, 8, 0, 8, 0},
                                                 {Id(kReaderType, 19), 1, 0, 1, 0, 1, 1},
                                                 {Id(kReaderType, 7), 1, 0, 1, 0, 1, 1}})));
        for (DoorCfg& d : cfg.doors) std::fill(d.bytes.begin(), d.bytes.begin() + 40, 0xFF);
        constexpr int k = 0, module = 1, r19 = 2, r7 = 3;
        cfg.SetDoorName(0, "Brama");
        cfg.AssignOutput(0, 0, MakeRes(k, 0), true);
        cfg.AssignInput(0, 1, MakeRes(k, 0), false);
        cfg.AssignInput(0, 0, MakeRes(k, 1), true);
        cfg.AssignReader(0, 0, MakeRes(r7, 0));
        cfg.AssignReader(0, 1, MakeRes(r19, 0));
        cfg.SetExitReader(0, 1, true);
        cfg.SetExitReader(0, 2, true);   // no reader there: no mark
        cfg.SetAirlock(0, 0);
        cfg.SetDoorName(1, "Biuro");
        cfg.AssignOutput(1, 0, MakeRes(module, 2), false);
        cfg.AssignInput(1, 1, MakeRes(module, 0), false);
        cfg.AssignOutput(1, 2, MakeRes(k, 1), false);
        cfg.SetAirlock(1, 3);
        cfg.SetAirlock(1, -1);   // left the airlock: its number stays but does not show
    }

    std::string Report(const std::string& location = Cp1250("Budynek A, parter"), ReportDate date = {2024, 5, 17})
    {
        return ReportText(kControllerId, devs, cfg, location, date);
    }

    BusDevSet devs;
    DoorConfig cfg{devs};
};

TEST_F(WorkedExample, MatchesTheFixtureByteForByte)
{
    const std::string expected = ReadFile(std::filesystem::path(OLM_REPORT_DATA) / "worked_example.txt");
    ASSERT_EQ(expected.size(), 1914u);
    const std::string text = Report();
    EXPECT_EQ(text, expected);
    // On a mismatch, the first differing line says more than the whole file.
    const auto got = Lines(text), want = Lines(expected);
    for (std::size_t i = 0; i < std::min(got.size(), want.size()); ++i) ASSERT_EQ(got[i], want[i]) << "line " << i + 1;
    EXPECT_EQ(got.size(), want.size());
}

TEST_F(WorkedExample, WriteReportWritesTheSameBytesAndOverwrites)
{
    const auto dir = std::filesystem::temp_directory_path() / ("olm_report_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "2024-05-17 K105_00042.txt").string();
    {
        std::ofstream old(file, std::ios::binary);
        old << std::string(5000, 'x');
    }
    WriteReport(file, kControllerId, devs, cfg, Cp1250("Budynek A, parter"), {2024, 5, 17});
    EXPECT_EQ(ReadFile(file), Report());
    WriteReport(file, kControllerId, devs, cfg, "", {2024, 5, 17});
    EXPECT_EQ(ReadFile(file), Report(""));
    std::filesystem::remove_all(dir);
}

TEST_F(WorkedExample, AReportThatCannotBeWrittenSaysWhyInTheSystemsWords)
{
    const auto attempt = [&](const std::string& file) -> std::string {
        try {
            WriteReport(file, kControllerId, devs, cfg, "", {2024, 5, 17});
        } catch (const ReportFileError& e) {
            EXPECT_EQ(e.fileName, file);
            return e.systemMessage;
        }
        return "written";
    };
    // A folder that does not exist: the file cannot be created.
    const std::string missing = (std::filesystem::temp_directory_path() / "olm no such folder" / "r.txt").string();
    EXPECT_EQ(attempt(missing), std::strerror(ENOENT));
    EXPECT_FALSE(std::filesystem::exists(missing));
    // A full disk: opening works, writing does not. /dev/full fails every write with ENOSPC.
    if (std::filesystem::exists("/dev/full")) {
        EXPECT_EQ(attempt("/dev/full"), std::strerror(ENOSPC));
    }
}

TEST_F(WorkedExample, ControlBytesInNamesBecomeBlanks)
{
    cfg.SetDoorName(0, "Bra\r\nma\t");   // a controller may send any bytes
    const auto lines = Lines(Report(std::string("Hala\n3")));
    EXPECT_EQ(lines[4], " Lokalizacja: Hala 3");
    // "Bra\r\nma\t" keeps its 8 columns, so "Biuro" still begins 22 columns after it.
    EXPECT_EQ(lines[12], "               Nazwa:   Bra  ma " + std::string(14, ' ') + "Biuro");
    EXPECT_EQ(lines.size(), Lines(ReadFile(std::filesystem::path(OLM_REPORT_DATA) / "worked_example.txt")).size());
}

TEST_F(WorkedExample, ADoorThatWasNotReadIsReportedAsNotRead)
{
    // Door 2 of the example was never read from the controller and never edited: its cleared
    // record must not be reported as a door without any resources.
    DoorConfig unread(devs);
    unread.Clear();
    unread.doors[0] = cfg.doors[0];   // door 1 edited, so it is the user's to report
    const auto lines = Lines(ReportText(kControllerId, devs, unread, "", {2024, 5, 17}));
    EXPECT_EQ(lines[12], "               Nazwa:   Brama                 (nie odczytano)");
    // "???" stands where "---" would, in a column of the same width.
    const std::string unreadCell = std::string(9, ' ') + "???" + std::string(10, ' ');
    EXPECT_EQ(lines[14], "              Rygiel:   K105_00042:Out1[NC]" + unreadCell);
    EXPECT_EQ(lines[17], Cp1250("    Przycisk wyjścia:   K105_00042:In2 [NC]") + unreadCell);
    EXPECT_EQ(lines[27], "           Czytnik 1:   R107_00007:Rd1     " + unreadCell);
    EXPECT_EQ(lines[38], Cp1250("               Śluzy:       Śluza 1    ") + std::string(13, ' ') + "??? " + std::string(5, ' '));
}

TEST_F(WorkedExample, HeaderFields)
{
    struct Case {
        std::string location;
        ReportDate date;
        const char* locationLine;
        const char* dateLine;
    };
    const Case cases[] = {
        {"", {2024, 1, 2}, " Lokalizacja: ", "        Data: 2024-01-02"},
        {"Hala", {987, 12, 31}, " Lokalizacja: Hala", "        Data: 987-12-31"},
        {std::string(80, 'L'), {12345, 10, 9}, nullptr, "        Data: 12345-10-09"},
    };
    for (const Case& c : cases) {
        const auto lines = Lines(Report(c.location, c.date));
        ASSERT_GT(lines.size(), 6u);
        EXPECT_EQ(lines[4], c.locationLine ? std::string(c.locationLine) : " Lokalizacja: " + c.location);
        EXPECT_EQ(lines[5], c.dateLine);
    }
}

// Device lists of 0 to 13 present devices (one absent slot among them, which is not listed).
TEST(ReportLayout, DeviceListWrapsAfterEverySixthLabel)
{
    const auto label = [](int serial) {
        char text[32];
        std::snprintf(text, sizeof text, "R107_%05d/A1", serial);
        return std::string(text);
    };
    for (int n : {0, 1, 6, 7, 12, 13}) {
        SCOPED_TRACE(n);
        std::vector<Rec> recs = {{0xFFFF0000u}};
        for (int i = 1; i <= n; ++i) recs.push_back({Id(kReaderType, static_cast<uint32_t>(i)), 1});
        BusDevSet devs;
        ASSERT_TRUE(devs.Decode(ListBlock(0x11, recs)));
        DoorConfig cfg(devs);
        const auto lines = Lines(ReportText(kControllerId, devs, cfg, "", {2024, 5, 17}));
        std::vector<std::string> expected = {Cp1250("  Urządzenia: ")};
        for (int i = 1; i <= n; ++i) {
            expected.back() += label(i);
            if (i < n) expected.back() += ", ";
            if (i < n && i % 6 == 0) expected.push_back(std::string(14, ' '));
        }
        expected.back() += ".";
        ASSERT_GE(lines.size(), 8 + expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[7 + i], expected[i]);
        EXPECT_EQ(lines[7 + expected.size()], "");
    }
}

TEST(ReportLayout, SpecificLines)
{
    // A literal check of the wrapped line of 7 devices and of the empty list.
    BusDevSet devs;
    std::vector<Rec> recs;
    for (uint32_t i = 1; i <= 7; ++i) recs.push_back({Id(kReaderType, i), 1});
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, recs)));
    DoorConfig cfg(devs);
    auto lines = Lines(ReportText(kControllerId, devs, cfg, "", {2024, 5, 17}));
    EXPECT_EQ(lines[7], Cp1250("  Urządzenia: R107_00001/A1, R107_00002/A1, R107_00003/A1, R107_00004/A1, "
                               "R107_00005/A1, R107_00006/A1, "));
    EXPECT_EQ(lines[8], "              R107_00007/A1.");

    devs.Clear();
    lines = Lines(ReportText(kControllerId, devs, cfg, "", {2024, 5, 17}));
    EXPECT_EQ(lines[7], Cp1250("  Urządzenia: ."));
    EXPECT_EQ(lines[7].size(), 15u);
    EXPECT_EQ(lines.size(), 9u);   // no doors held: no sections
}

TEST(ReportLayout, SectionsOfFourDoors)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x15, {{kControllerId, 3, 0, 4, 8, 6, 2}})));
    DoorConfig cfg(devs);
    for (DoorCfg& d : cfg.doors) std::fill(d.bytes.begin(), d.bytes.begin() + 40, 0xFF);   // NC bit set, but empty
    cfg.SetDoorName(0, "Wej\x9C" "cie g\xB3\xF3wne");   // "Wejście główne", 14 bytes
    cfg.SetDoorName(1, "123456789012345");
    cfg.SetDoorName(2, "C");
    cfg.SetAirlock(4, 1);
    const auto lines = Lines(ReportText(kControllerId, devs, cfg, "", {2024, 5, 17}));
    // Header 7 lines, the device line, one empty line, then 32 lines per section.
    ASSERT_EQ(lines.size(), 9u + 32 + 32);
    const auto section = [&](int s, int row) { return lines[static_cast<std::size_t>(9 + 32 * s + row - 1)]; };
    EXPECT_EQ(section(0, 1), "");
    EXPECT_EQ(section(0, 2), Cp1250(std::string(27, ' ') + "Przejście 1" + std::string(11, ' ') + "Przejście 2" +
                                    std::string(11, ' ') + "Przejście 3" + std::string(11, ' ') + "Przejście 4"));
    EXPECT_EQ(section(0, 3), std::string(110, '-'));
    // A 15-byte name leaves a gap of 7; an empty fourth name still begins 22 columns after "C".
    EXPECT_EQ(section(0, 4), Cp1250("               Nazwa:   Wejście główne        123456789012345       C") +
                                 std::string(21, ' '));
    // An empty slot (0xFFFF, bit 7 set) shows no NC mark; every door column is 22 wide.
    const std::string empty = std::string(9, ' ') + "---" + std::string(10, ' ');
    EXPECT_EQ(section(0, 6), "              Rygiel:" + empty + empty + empty + empty);
    EXPECT_EQ(section(0, 7), "    Czujnik otwarcia:" + empty + empty + empty + empty);
    EXPECT_EQ(section(0, 19), "           Czytnik 1:" + empty + empty + empty + empty);
    const std::string noAirlock = "---" + std::string(6, ' ');
    EXPECT_EQ(section(0, 30), Cp1250("               Śluzy:") + std::string(9, ' ') + noAirlock +
                                  std::string(13, ' ') + noAirlock + std::string(13, ' ') + noAirlock +
                                  std::string(13, ' ') + noAirlock);
    EXPECT_EQ(section(0, 31), std::string(110, '-'));
    EXPECT_EQ(section(1, 2), Cp1250(std::string(27, ' ') + "Przejście 5"));
    EXPECT_EQ(section(1, 3), std::string(44, '-'));
    EXPECT_EQ(section(1, 4), "               Nazwa:   ");
    EXPECT_EQ(section(1, 30), Cp1250("               Śluzy:       Śluza 2    "));
    EXPECT_EQ(section(1, 31), std::string(44, '-'));
    EXPECT_EQ(section(1, 32), "");
}

TEST(ReportLayout, IdentifiersOutsideTheTable)
{
    BusDevSet devs;
    ASSERT_TRUE(devs.Decode(ListBlock(0x11, {{kControllerId, 3, 0, 4, 8, 6, 2}})));
    DoorConfig cfg(devs);
    for (DoorCfg& d : cfg.doors) std::fill(d.bytes.begin(), d.bytes.begin() + 40, 0xFF);
    cfg.AssignOutput(0, 0, 0x6C80, false);   // device index 108, NC flag set by the controller
    cfg.AssignReader(0, 3, 0x7002);
    cfg.SetExitReader(0, 3, true);
    const auto lines = Lines(ReportText(kControllerId, devs, cfg, "", {2024, 5, 17}));
    EXPECT_EQ(lines[9 + 5], "              Rygiel:         ?108:Out1[NC]");
    EXPECT_EQ(lines[9 + 21], "           Czytnik 4:         ?112:Rd3 [Wy]");
}

}  // namespace
