// The commands of olmctl against the sample controllers on the simulated LAN: what each prints,
// what it sends, its exit status, and that it leaves no session open.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ctl/ctl.h"
#include "link/devid.h"
#include "link/frame.h"
#include "link/udpdev.h"
#include "model/ctrlcfg.h"
#include "report/report.h"
#include "sim/blocks.h"
#include "sim/samples.h"
#include "sim/simlan.h"
#include "snapshot/snapshot.h"
#include "tests/common/cp1250.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const uint32_t kFour = MakeId(305, 1201);     // K105_01201, 4 doors, "Instalacja"
const uint32_t kEight = MakeId(305, 1502);    // K105_01502, 8 doors, "Serwis"
const uint32_t kLift = MakeId(310, 77);       // K110_00077
const uint32_t kLocked = MakeId(305, 1800);   // K105_01800, "Blokada"
constexpr std::time_t kNow = 1715933100;      // 2024-05-17 08:05 UTC

std::string ReadAll(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class Commands : public ::testing::Test {
protected:
    Commands() : dir(fs::temp_directory_path() / ("olmctl-test-" + std::to_string(::getpid())))
    {
        AddSampleControllers(lan);
        SetEndpoint(&lan);
        ResetStop();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Commands() override
    {
        SetEndpoint(nullptr);
        ResetStop();
        fs::remove_all(dir);
    }

    // Runs olmctl with these arguments; options as main would have parsed them.
    int Run(const std::vector<std::string>& args, CtlOptions options = {})
    {
        out.str("");
        err.str("");
        if (options.json) options.given.insert("json");
        if (!options.output.empty()) options.given.insert("output");
        if (!options.location.empty()) options.given.insert("location");
        if (!options.doors.empty()) options.given.insert("doors");
        if (!options.maps.empty()) options.given.insert("map");
        if (options.yes) options.given.insert("yes");
        if (!options.keep.empty()) options.given.insert("keep");
        Ctl ctl{out, err, options};
        ctl.clock = [] { return kNow; };
        ctl.program = "olmctl 1.3.3";
        return RunCommand(ctl, args);
    }

    CtlOptions Output(const fs::path& file) const
    {
        CtlOptions o;
        o.output = file.string();
        return o;
    }
    CtlOptions Yes() const
    {
        CtlOptions o;
        o.yes = true;
        return o;
    }

    ControllerPeer& Peer(uint32_t id) { return *lan.Peer(id); }

    // The letters of the requests a controller received (the search included).
    static std::string Letters(const ControllerPeer& peer)
    {
        std::string letters;
        for (const PeerRequest& r : peer.log) letters += r.letter;
        return letters;
    }
    static int Count(const ControllerPeer& peer, char letter)
    {
        return static_cast<int>(std::count_if(peer.log.begin(), peer.log.end(), [letter](const PeerRequest& r) { return r.letter == letter; }));
    }
    // Every command closes the session it opened: the last request is s and none is held.
    void ExpectClosed(ControllerPeer& peer)
    {
        ASSERT_FALSE(peer.log.empty());
        EXPECT_EQ(peer.log.back().letter, 's') << Letters(peer);
        EXPECT_FALSE(peer.HasSession(lan.NowMs()));
    }
    bool SentTimeFrame() const
    {
        return std::any_of(lan.sent.begin(), lan.sent.end(), [](const SimLan::Datagram& d) { return d.bytes[3] == 'T'; });
    }

    Snapshot Backup(uint32_t id, const fs::path& file)
    {
        EXPECT_EQ(Run({"backup", DevName(id)}, Output(file)), 0) << err.str();
        Snapshot snap;
        std::string problem;
        EXPECT_TRUE(DecodeSnapshot(ReadAll(file), snap, problem)) << problem;
        return snap;
    }

    SimLan lan;
    std::ostringstream out;
    std::ostringstream err;
    fs::path dir;
};

TEST_F(Commands, ScanListsTheControllersInTheWindowsOrderAndSendsNoTimeFrame)
{
    EXPECT_EQ(Run({"scan"}), 0);
    EXPECT_EQ(out.str(), "T112_00900  192.168.1.30     Serwis\n"
                         "K105_01201  192.168.1.21     Instalacja\n"
                         "K105_01502  192.168.1.22     Serwis\n"
                         "K105_01800  192.168.1.24     Blokada\n"
                         "K110_00077  192.168.1.23     Serwis\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_FALSE(SentTimeFrame());

    CtlOptions o;
    o.json = true;
    EXPECT_EQ(Run({"scan"}, o), 0);
    const json list = json::parse(out.str());
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[1], json({{"name", "K105_01201"}, {"id", kFour}, {"ip", "192.168.1.21"}, {"status", 3}, {"mode", "Instalacja"}}));
    EXPECT_FALSE(SentTimeFrame());
}

TEST_F(Commands, ScanOfAnEmptyNetworkSaysSo)
{
    for (const auto& s : SampleControllers()) Peer(s.id).faults.silent = true;
    EXPECT_EQ(Run({"scan"}), 0);
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(err.str(), "olmctl: nie znaleziono żadnego urządzenia\n");
}

TEST_F(Commands, TimeSendsTheTimeFrameOnlyWhereAsked)
{
    EXPECT_EQ(Run({"time", "K105_01502"}), 0);
    EXPECT_EQ(out.str(), "K105_01502  192.168.1.22: wysłano czas 2024-05-17T00:00:00Z\n");
    EXPECT_EQ(Peer(kEight).lastTime, static_cast<uint32_t>(lan.utcBase));
    EXPECT_FALSE(Peer(kFour).lastTime.has_value());

    EXPECT_EQ(Run({"time", "all"}), 0);
    for (const auto& s : SampleControllers()) EXPECT_TRUE(Peer(s.id).lastTime.has_value()) << DevName(s.id);

    EXPECT_EQ(Run({"time", "192.168.1.99"}), 1);
    EXPECT_EQ(err.str(), "olmctl: nie znaleziono kontrolera 192.168.1.99\n");
}

TEST_F(Commands, FindsAControllerByAddressAndRefusesAnAmbiguousOne)
{
    EXPECT_EQ(Run({"time", "192.168.1.21"}), 0);
    EXPECT_TRUE(Peer(kFour).lastTime.has_value());
    lan.AddPeer(0xC0A80115u, MakeId(305, 1203), 2);   // a second controller behind the same address
    EXPECT_EQ(Run({"show", "192.168.1.21"}), 1);
    EXPECT_EQ(err.str(), "olmctl: 192.168.1.21 wskazuje kilka urządzeń: K105_01201 (192.168.1.21), K105_01203 "
                         "(192.168.1.21); podaj nazwę urządzenia\n");
}

TEST_F(Commands, ShowPrintsTheDevicePanelAndEveryFunction)
{
    EXPECT_EQ(Run({"show", "K105_01502"}), 0) << err.str();
    const std::string text = out.str();
    EXPECT_EQ(text.substr(0, text.find("\n\nPrzejście 1")),
              "K105_01502  192.168.1.22  Serwis\n"
              "Kontroler przejść, przejścia: 8\n"
              "\n"
              "Urządzenia:\n"
              " Kontroler: K105_01502/A1\n"
              "    Czytnik: R107_00401/A1\n"
              "    Czytnik: R107_00402/A1\n"
              "    Czytnik: R107_00403/A1\n"
              "    Czytnik: R107_00404/A1\n"
              "    Czytnik: R107_00405/A1,   (nieaktywny)\n"
              "    Czytnik: R107_00420/A1,   (nowy)\n"
              "      Zamek: Z103_00077/A1\n"
              " Klawiatura: K112_00066/A1,   (nowy)\n"
              "      Moduł: D102_00031/A2");
    EXPECT_NE(text.find("Przejście 2:\n  Nazwa: Serwerownia\n  Typ: Normalne\n  Rygiel: K105_01502:Out2\n"), std::string::npos);
    EXPECT_NE(text.find("  Alarm: K105_01502:Out6 NC\n"), std::string::npos);
    ExpectClosed(Peer(kEight));
    EXPECT_FALSE(SentTimeFrame());

    CtlOptions o;
    o.json = true;
    EXPECT_EQ(Run({"show", "K110_00077"}, o), 0);
    const json lift = json::parse(out.str());
    EXPECT_EQ(lift["kind"], "lift");
    EXPECT_EQ(lift["lift"]["decoded"]["floors1"], "D105_00031:Set1");
    EXPECT_FALSE(lift["lift"].contains("record"));
}

TEST_F(Commands, ShowRefusesWhatHasNoConfigurationToRead)
{
    EXPECT_EQ(Run({"show", "T112_00900"}), 1);
    EXPECT_EQ(err.str(), "olmctl: T112_00900 nie jest kontrolerem i nie ma konfiguracji przejść\n");
    EXPECT_EQ(Run({"show", "K105_01800"}), 1);
    EXPECT_EQ(err.str(), "olmctl: K105_01800, tryb: Blokada. Błąd nr 8: Kontroler nie pozwala odczytać ustawień "
                         "przejść. Ustaw go w tryb 'Service'\n");
    EXPECT_EQ(Count(Peer(kLocked), 'K'), 0);
    Peer(kEight).faults.foreignSession = true;
    EXPECT_EQ(Run({"show", "K105_01502"}), 1);
    const std::string foreign = err.str();
    EXPECT_NE(foreign.find("olmctl: K105_01502, tryb: Serwis. Błąd nr 2: Kontroler ma obcą sesję. Możliwe przyczyny:"),
              std::string::npos);
    EXPECT_EQ(std::count(foreign.begin(), foreign.end(), '\n'), 1);
}

TEST_F(Commands, BackupWritesTheSnapshotAndClosesItsSession)
{
    const fs::path file = dir / "k.json";
    const Snapshot snap = Backup(kEight, file);
    EXPECT_EQ(out.str(), "Kopia K105_01502 (przejścia: 8, urządzenia: 10) zapisana w " + file.string() + "\n");
    EXPECT_EQ(err.str(), "");
    const auto samples = SampleControllers();
    const SampleController& eight = samples[2];
    EXPECT_EQ(snap.deviceList, eight.deviceList);
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(snap.records[static_cast<std::size_t>(i)].read);
        EXPECT_TRUE(std::equal(snap.records[static_cast<std::size_t>(i)].bytes.begin(),
                               snap.records[static_cast<std::size_t>(i)].bytes.end(),
                               eight.blocks[static_cast<std::size_t>(i)].begin() + kBlockHeader));
    }
    EXPECT_EQ(snap.taken, "2024-05-17T08:05:00Z");
    EXPECT_EQ(snap.program, "olmctl 1.3.3");
    // The search, the poll, the session (poll, K), D, the session check, C per door, the close.
    EXPECT_EQ(Letters(Peer(kEight)), "OOOKDOCCCCCCCCOs");
    EXPECT_FALSE(SentTimeFrame());

    CtlOptions toStdout;
    toStdout.output = "-";
    EXPECT_EQ(Run({"backup", "K105_01502"}, toStdout), 0);
    EXPECT_EQ(out.str(), ReadAll(file));
}

TEST_F(Commands, BackupKeepsADoorWithAMalformedBlockAsNotRead)
{
    Peer(kEight).blocks[3][3] = 5;
    const Snapshot snap = Backup(kEight, dir / "k.json");
    EXPECT_EQ(err.str(), "olmctl: K105_01502, Przejście 4: kontroler przysłał nieprawidłowy blok; w kopii zapisane "
                         "jako nieodczytane\n");
    EXPECT_FALSE(snap.records[3].read);
    EXPECT_TRUE(snap.records[4].read);
}

TEST_F(Commands, BackupOfAFailingControllerWritesNothingAndStillCloses)
{
    Peer(kEight).mutateReply = [](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'C' && req.payload[1] == 2) frame.clear();   // door 3 never answers
    };
    const fs::path file = dir / "k.json";
    EXPECT_EQ(Run({"backup", "K105_01502"}, Output(file)), 1);
    EXPECT_EQ(err.str(), "olmctl: K105_01502, tryb: Serwis. Błąd nr 6 (r.'C'): Brak odpowiedzi na rozkaz.\n");
    EXPECT_FALSE(fs::exists(file));
    ExpectClosed(Peer(kEight));
}

TEST_F(Commands, DiffShowsNothingForTheSameConfigurationAndEachChangeOtherwise)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    EXPECT_EQ(Run({"diff", file.string(), "K105_01502"}), 0);
    EXPECT_EQ(out.str(), "");
    ExpectClosed(Peer(kEight));

    SetBlockSlot(Peer(kEight).blocks[1], 2, 0xFFFF);   // door 2 loses its alarm
    EXPECT_EQ(Run({"diff", file.string(), "K105_01502"}), 1);
    EXPECT_EQ(out.str(), "Przejście 2  Alarm  kontroler:Out6 NC  ---\n");

    CtlOptions o;
    o.json = true;
    EXPECT_EQ(Run({"diff", "K105_01502", file.string()}, o), 1);
    const json doc = json::parse(out.str());
    EXPECT_EQ(doc["equal"], false);
    EXPECT_EQ(doc["differences"][0]["function"], "alarm");
    EXPECT_EQ(doc["differences"][0]["a"], "---");

    EXPECT_EQ(Run({"diff", file.string(), (dir / "none.json").string()}), 1);
    EXPECT_NE(err.str().find("none.json: nie można otworzyć pliku"), std::string::npos);
}

TEST_F(Commands, RestoreWithoutYesOnlyTellsWhatItWouldChange)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    SetBlockSlot(Peer(kEight).blocks[1], 0, 0x0700);
    Peer(kEight).log.clear();
    EXPECT_EQ(Run({"restore", file.string(), "K105_01502"}), 0) << err.str();
    const std::string text = out.str();
    EXPECT_NE(text.find("Przejście 1: bez zmian\nPrzejście 2: do zapisania\n    Przejście 2  Rygiel  Z103_00077:Out1  "
                        "kontroler:Out2\nPrzejście 3: bez zmian\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Próba: nic nie zapisano. Aby zapisać, dodaj --yes.\n"), std::string::npos);
    EXPECT_EQ(Count(Peer(kEight), 'c'), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);   // no keep file
    ExpectClosed(Peer(kEight));
}

TEST_F(Commands, RestoreWritesOnlyTheDoorsThatDifferAndVerifiesEach)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    const std::vector<uint8_t> original = Peer(kEight).blocks[1];
    SetBlockSlot(Peer(kEight).blocks[1], 0, 0x0700);
    SetBlockSlot(Peer(kEight).blocks[6], 0, 0x0100);
    const std::vector<uint8_t> changed = Peer(kEight).blocks[1];
    Peer(kEight).log.clear();

    EXPECT_EQ(Run({"restore", file.string(), "K105_01502"}, Yes()), 0) << err.str();
    std::vector<fs::path> keeps;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().string().ends_with(".keep.json")) keeps.push_back(e.path());
    ASSERT_EQ(keeps.size(), 1u);
    EXPECT_TRUE(keeps[0].filename().string().starts_with("k.K105_01502-2024051"));
    EXPECT_EQ(out.str(), "Stan sprzed przywrócenia zapisano w " + keeps[0].string() + "\n"
                         "Przejście 1: bez zmian\n"
                         "Przejście 2: zapisane i sprawdzone\n"
                         "Przejście 3: bez zmian\nPrzejście 4: bez zmian\nPrzejście 5: bez zmian\nPrzejście 6: bez zmian\n"
                         "Przejście 7: zapisane i sprawdzone\n"
                         "Przejście 8: bez zmian\n");
    EXPECT_EQ(Peer(kEight).blocks[1], original);
    // Each c acknowledged, then read back with C: door 2, then door 7; then the close.
    std::string tail = Letters(Peer(kEight));
    tail = tail.substr(tail.find("CCCCCCCC") + 8);
    EXPECT_EQ(tail, "OcCcCOs");
    EXPECT_EQ(Peer(kEight).log[Peer(kEight).log.size() - 6].payload[1], 1);   // door 2's index
    // The keep file holds the state before the restore: it can itself be restored.
    Snapshot before;
    std::string problem;
    ASSERT_TRUE(DecodeSnapshot(ReadAll(keeps[0]), before, problem)) << problem;
    EXPECT_TRUE(std::equal(before.records[1].bytes.begin(), before.records[1].bytes.end(), changed.begin() + kBlockHeader));

    // Restoring again finds nothing to write, and writes no keep file.
    EXPECT_EQ(Run({"restore", file.string(), "K105_01502"}, Yes()), 0);
    EXPECT_NE(out.str().find("Nic do zapisania.\n"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST_F(Commands, RestoreHonoursDoorsAndKeep)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    SetBlockSlot(Peer(kEight).blocks[0], 2, 0x0003);
    SetBlockSlot(Peer(kEight).blocks[2], 2, 0x0003);
    CtlOptions o = Yes();
    o.doors = {3};
    o.keep = (dir / "before.json").string();
    EXPECT_EQ(Run({"restore", file.string(), "K105_01502"}, o), 0) << err.str();
    EXPECT_EQ(out.str(), "Stan sprzed przywrócenia zapisano w " + o.keep + "\nPrzejście 3: zapisane i sprawdzone\n");
    EXPECT_EQ(BlockSlot(Peer(kEight).blocks[0], 2), 0x0003);   // door 1 not restored
    EXPECT_EQ(BlockSlot(Peer(kEight).blocks[2], 2), 0xFFFF);
    EXPECT_TRUE(fs::exists(o.keep));

    // The snapshot being restored is never overwritten by the keep file.
    SetBlockSlot(Peer(kEight).blocks[2], 2, 0x0003);
    o.keep = file.string();
    const std::string before = ReadAll(file);
    EXPECT_EQ(Run({"restore", file.string(), "K105_01502"}, o), 1);
    EXPECT_EQ(err.str(), "olmctl: --keep " + file.string() + ": to plik przywracanej kopii; nic nie zapisano\n");
    EXPECT_EQ(ReadAll(file), before);
    EXPECT_EQ(BlockSlot(Peer(kEight).blocks[2], 2), 0x0003);
}

TEST_F(Commands, RestoreMovesAConfigurationOntoAReplacementController)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    // The replacement: its own identifier, the bus in another order, R107_00405 swapped for R107_00421.
    const auto samples = SampleControllers();
    std::vector<uint8_t> list = samples[2].deviceList;
    const uint32_t fresh = MakeId(305, 1777);
    PutU32(&list[kListHeader], fresh);
    PutU32(&list[kListHeader + 5 * kListRecord], MakeId(7, 421));
    list[kListHeader + 5 * kListRecord + 5] = 0;
    std::swap_ranges(list.begin() + kListHeader + kListRecord, list.begin() + kListHeader + 2 * kListRecord,
                     list.begin() + kListHeader + 6 * kListRecord);   // R107_00401 and D102_00031 trade slots
    ControllerPeer& target = lan.AddPeer(0xC0A80119u, fresh, 2);
    target.deviceList = list;
    for (int i = 0; i < 8; ++i) target.blocks[static_cast<std::size_t>(i)] = EmptyDoorBlock();

    EXPECT_EQ(Run({"restore", file.string(), "K105_01777"}, Yes()), 1);
    EXPECT_EQ(err.str(), "olmctl: Przejście 1, Czytnik 2 (R107_00405:Rd1): urządzenia R107_00405 nie ma na magistrali "
                         "K105_01777\nolmctl: przywracanie odrzucone; na K105_01777 nic nie zapisano\n");
    EXPECT_EQ(Count(target, 'c'), 0);
    ExpectClosed(target);

    CtlOptions o = Yes();
    o.maps = {{"R107_00405", "R107_00421"}};
    EXPECT_EQ(Run({"restore", file.string(), "K105_01777"}, o), 0) << err.str();
    EXPECT_EQ(Count(target, 'c'), 5);   // doors 6-8 are empty on both
    EXPECT_EQ(BlockSlot(target.blocks[0], 0), 0x0000);    // the lock: the controller's own output 1
    EXPECT_EQ(BlockSlot(target.blocks[0], 16), 0x0600);   // reader 1: R107_00401, now in slot 6
    EXPECT_EQ(BlockSlot(target.blocks[0], 17), 0x0500);   // reader 2: R107_00421 in R107_00405's slot
    EXPECT_EQ(BlockSlot(target.blocks[3], 0), 0x0100);    // D102_00031, now in slot 1

    EXPECT_EQ(Run({"diff", file.string(), "K105_01777"}), 1);
    EXPECT_EQ(out.str(), "Urządzenia   R107_00405  jest            brak\n"
                         "Urządzenia   R107_00421  brak            jest\n"
                         "Przejście 1  Czytnik 2   R107_00405:Rd1  R107_00421:Rd1\n");
}

TEST_F(Commands, RestoreRefusesAnotherKindOrTooFewDoorsAndWritesNothing)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    EXPECT_EQ(Run({"restore", file.string(), "K110_00077"}, Yes()), 1);
    EXPECT_EQ(err.str(), "olmctl: rodzaj się nie zgadza: kopia dotyczy przejść, a K110_00077 to kontroler windy\n"
                         "olmctl: przywracanie odrzucone; na K110_00077 nic nie zapisano\n");
    EXPECT_EQ(Run({"restore", file.string(), "K105_01201"}, Yes()), 1);
    EXPECT_NE(err.str().find("olmctl: K105_01201 ma 4 przejścia, a kopia 8 przejść\n"), std::string::npos);
    EXPECT_EQ(Count(Peer(kLift), 'c') + Count(Peer(kFour), 'c'), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    // A file that is refused needs no network at all.
    std::ofstream(dir / "bad.json") << "{\"format\": \"olm-snapshot\", \"version\": 7}";
    lan.ClearLog();
    EXPECT_EQ(Run({"restore", (dir / "bad.json").string(), "K105_01502"}, Yes()), 1);
    EXPECT_EQ(err.str(), "olmctl: " + (dir / "bad.json").string() +
                             ": wersja 7 kopii jest nowsza niż obsługiwana (1); potrzebny nowszy program\n");
    EXPECT_TRUE(lan.sent.empty());
}

TEST_F(Commands, RestoreStopsAtTheFirstFailureAndListsWhatWasWritten)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    for (int i = 0; i < 4; ++i) SetBlockSlot(Peer(kEight).blocks[static_cast<std::size_t>(i)], 5, 0x0007);
    Peer(kEight).faults.noAckBlock = 2;
    EXPECT_EQ(Run({"restore", file.string(), "K105_01502"}, Yes()), 1);
    EXPECT_NE(out.str().find("Przejście 2: zapisane i sprawdzone\nPrzejście 3: błąd: K105_01502, tryb: Serwis. Błąd nr 7 "
                             "(r.'c'): Brak potwierdzenia wysłanego rozkazu.\n"),
              std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("Przejście 4"), std::string::npos);
    const std::string e = err.str();
    EXPECT_NE(e.find("olmctl: Przejście 3: błąd: K105_01502"), std::string::npos);
    EXPECT_NE(e.find("olmctl: przywracanie przerwane; zapisane wcześniej: Przejście 1, Przejście 2\n"), std::string::npos);
    EXPECT_NE(e.find("olmctl: poprzedni stan: "), std::string::npos);
    EXPECT_EQ(BlockSlot(Peer(kEight).blocks[3], 5), 0x0007);   // door 4 untouched
    ExpectClosed(Peer(kEight));
}

TEST_F(Commands, RestoreFailsWhenTheDoorReadBackDiffersFromWhatWasSent)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    SetBlockSlot(Peer(kEight).blocks[1], 0, 0x0700);
    ControllerPeer& peer = Peer(kEight);
    peer.mutateReply = [&peer](const PeerRequest& req, std::vector<uint8_t>&) {
        if (req.letter == 'c') peer.blocks[req.payload[1]][kBlockHeader + 45] ^= 0x10;   // stored wrongly
    };
    EXPECT_EQ(Run({"restore", file.string(), "K105_01502"}, Yes()), 1);
    EXPECT_NE(out.str().find("Przejście 2: zapisane, ale odczyt nie zgadza się z wysłanym (bajt 45: wysłano 0x00, "
                             "odczytano 0x10)\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(err.str().find("olmctl: przywracanie przerwane; zapisane wcześniej: Przejście 2\n"), std::string::npos);
    ExpectClosed(peer);
}

TEST_F(Commands, RestoreOfTheLiftWritesItsOneRecord)
{
    const fs::path file = dir / "lift.json";
    Backup(kLift, file);
    SetBlockSlot(Peer(kLift).blocks[0], 0, 0xFFFF);
    EXPECT_EQ(Run({"restore", file.string(), "K110_00077"}, Yes()), 0) << err.str();
    EXPECT_NE(out.str().find("Winda: zapisane i sprawdzone\n"), std::string::npos);
    const auto c = std::find_if(Peer(kLift).log.begin(), Peer(kLift).log.end(), [](const PeerRequest& r) { return r.letter == 'c'; });
    ASSERT_NE(c, Peer(kLift).log.end());
    EXPECT_EQ(c->payload[0], 2);
    EXPECT_EQ(c->payload[1], 0);
    EXPECT_EQ(BlockSlot(Peer(kLift).blocks[0], 0), 0x0100);
}

TEST_F(Commands, AStopRequestEndsTheCommandAndClosesTheSession)
{
    ControllerPeer& peer = Peer(kEight);
    peer.mutateReply = [](const PeerRequest& req, std::vector<uint8_t>&) {
        if (req.letter == 'C' && req.payload[1] == 2) RequestStop();   // as Ctrl+C would, mid-reading
    };
    const fs::path file = dir / "k.json";
    EXPECT_EQ(Run({"backup", "K105_01502"}, Output(file)), 1);
    EXPECT_EQ(err.str(), "olmctl: przerwano; otwarte sesje zostają zamknięte\n");
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(Letters(peer), "OOOKDOCCCOs");
    ExpectClosed(peer);
}

TEST_F(Commands, AStopDuringARestoreListsWhatWasWritten)
{
    const fs::path file = dir / "k.json";
    Backup(kEight, file);
    for (int i = 0; i < 3; ++i) SetBlockSlot(Peer(kEight).blocks[static_cast<std::size_t>(i)], 5, 0x0007);
    ControllerPeer& peer = Peer(kEight);
    peer.mutateReply = [](const PeerRequest& req, std::vector<uint8_t>&) {
        if (req.letter == 'c' && req.payload[1] == 1) RequestStop();
    };
    EXPECT_EQ(Run({"restore", file.string(), "K105_01502"}, Yes()), 1);
    EXPECT_NE(err.str().find("olmctl: Przejście 3: przerwano przed zapisem\n"
                             "olmctl: przywracanie przerwane; zapisane wcześniej: Przejście 1, Przejście 2\n"),
              std::string::npos)
        << err.str();
    EXPECT_EQ(Count(peer, 'c'), 2);
    ExpectClosed(peer);
}

TEST_F(Commands, ReportWritesWhatTheWindowWrites)
{
    const fs::path file = dir / "r.txt";
    CtlOptions o = Output(file);
    o.location = "Budynek A, piętro 2";
    EXPECT_EQ(Run({"report", "K105_01201"}, o), 0) << err.str();
    EXPECT_EQ(out.str(), "Raport K105_01201 zapisany w " + file.string() + "\n");

    ExpectClosed(Peer(kFour));

    // What the window reads of the same controller: its device list and doors through the link,
    // into a cleared model, then the report text of that model.
    const auto samples = SampleControllers();
    const SampleController& four = samples[1];
    UdpDev dev;
    dev.id = four.id;
    dev.ip = lan.PeerIp(four.id);
    dev.mode = four.status;
    dev.reachable = true;
    BusDevSet devs;
    DoorConfig doors(devs);
    doors.Clear();
    devs.Load(dev);
    doors.Load(dev);
    dev.CloseSession();
    ASSERT_EQ(doors.UnreadDoors(), 0);
    std::tm tm{};
    const std::time_t now = kNow;
    localtime_r(&now, &tm);
    const std::string expected = ReportText(four.id, devs, doors, Cp1250("Budynek A, piętro 2"),
                                            {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday});
    EXPECT_EQ(ReadAll(file), expected);
    EXPECT_NE(expected.find("Lokalizacja: " + Cp1250("Budynek A, piętro 2") + "\r\n"), std::string::npos);

    EXPECT_EQ(Run({"report", "K110_00077"}, Output(dir / "l.txt")), 1);
    EXPECT_EQ(err.str(), "olmctl: raport dotyczy tylko kontrolerów przejść, a K110_00077 to kontroler windy\n");
    EXPECT_FALSE(fs::exists(dir / "l.txt"));
    EXPECT_EQ(Run({"report", "K105_01201"}, Output(dir / "no" / "such" / "r.txt")), 1);
    EXPECT_NE(err.str().find("r.txt: nie można zapisać pliku"), std::string::npos);
}

TEST_F(Commands, DeleteInactiveNeedsYesAndAnInactiveDevice)
{
    EXPECT_EQ(Run({"delete-inactive", "K105_01502"}), 0);
    EXPECT_EQ(out.str(), "Do usunięcia (nieaktywne): R107_00405\nPróba: nic nie zmieniono. Aby usunąć, dodaj --yes.\n");
    EXPECT_EQ(Count(Peer(kEight), 'F'), 0);

    EXPECT_EQ(Run({"delete-inactive", "K105_01502"}, Yes()), 0) << err.str();
    EXPECT_EQ(Count(Peer(kEight), 'F'), 1);
    EXPECT_NE(out.str().find("Usunięto nieaktywne: R107_00405\nUrządzenia K105_01502:\n Kontroler: K105_01502/A1\n"),
              std::string::npos);
    EXPECT_EQ(out.str().find("R107_00405/A1"), std::string::npos);
    ExpectClosed(Peer(kEight));

    EXPECT_EQ(Run({"delete-inactive", "K105_01201"}, Yes()), 1);
    EXPECT_EQ(err.str(), "olmctl: K105_01201 nie ma nieaktywnych urządzeń; nic do usunięcia\n");
    EXPECT_EQ(Count(Peer(kFour), 'F'), 0);
}

TEST_F(Commands, ReplaceFollowsTheWindowsRules)
{
    EXPECT_EQ(Run({"replace", "K105_01502", "R107_00405", "R107_00420"}), 0);
    EXPECT_EQ(out.str(), "Do zastąpienia: R107_00405 <-- R107_00420\nPróba: nic nie zmieniono. Aby zastąpić, dodaj --yes.\n");
    EXPECT_EQ(Count(Peer(kEight), 'R'), 0);

    EXPECT_EQ(Run({"replace", "K105_01502", "R107_00401", "K112_00066"}, Yes()), 1);
    EXPECT_EQ(err.str(), "olmctl: R107_00401 nie jest nieaktywne\n"
                         "olmctl: R107_00401 i K112_00066 mają różne typy (7 i 512)\n");
    EXPECT_EQ(Run({"replace", "K105_01502", "R107_00405", "R107_00404"}, Yes()), 1);
    EXPECT_EQ(err.str(), "olmctl: R107_00404 nie jest nowe\n");

    EXPECT_EQ(Run({"replace", "K105_01502", "R107_00405", "R107_00420"}, Yes()), 0) << err.str();
    const auto r = std::find_if(Peer(kEight).log.begin(), Peer(kEight).log.end(), [](const PeerRequest& q) { return q.letter == 'R'; });
    ASSERT_NE(r, Peer(kEight).log.end());
    EXPECT_EQ(r->payload, (std::vector<uint8_t>{5, 8}));   // the inactive device's slot, then the new one's
    EXPECT_NE(out.str().find("Zastąpiono: R107_00405 <-- R107_00420\n"), std::string::npos);
    ExpectClosed(Peer(kEight));
}

TEST_F(Commands, UsageErrorsExitWithTwoAndSendNothing)
{
    CtlOptions json;
    json.json = true;
    CtlOptions yesOnBackup = Output(dir / "x.json");
    yesOnBackup.yes = true;
    CtlOptions longLocation = Output(dir / "r.txt");
    longLocation.location = std::string(81, 'x');
    const struct {
        std::vector<std::string> args;
        CtlOptions options;
        const char* message;
    } cases[] = {
        {{}, {}, "olmctl: brak polecenia; zobacz olmctl --help\n"},
        {{"copy"}, {}, "olmctl: nieznane polecenie: copy; zobacz olmctl --help\n"},
        {{"show"}, {}, "olmctl: użycie: olmctl show NAZWA|PLIK\n"},
        {{"diff", "a.json"}, {}, "olmctl: użycie: olmctl diff A B\n"},
        {{"backup", "K105_01502"}, {}, "olmctl: polecenie backup wymaga opcji -o PLIK\n"},
        {{"backup", "K105_01502"}, yesOnBackup, "olmctl: opcja --yes nie dotyczy polecenia backup\n"},
        {{"restore", "a.json", "K105_01502"}, json, "olmctl: opcja --json nie dotyczy polecenia restore\n"},
        {{"report", "K105_01201"}, longLocation, "olmctl: --location: najwyżej 80 znaków\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args, c.options), 2);
        EXPECT_EQ(err.str(), c.message);
    }
    EXPECT_TRUE(lan.sent.empty());
}

TEST(Arguments, DoorListsDeviceMapsAndControllerNames)
{
    std::vector<int> doors;
    EXPECT_TRUE(ParseDoorList("3,1,3", doors));
    EXPECT_EQ(doors, (std::vector<int>{1, 3}));
    for (const char* bad : {"", "0", "9", "1,", "1;3", "12", "a"}) EXPECT_FALSE(ParseDoorList(bad, doors)) << bad;

    DeviceMap map;
    EXPECT_TRUE(ParseDeviceMap("R107_00405=R107_00420", map));
    EXPECT_EQ(map.from, "R107_00405");
    EXPECT_EQ(map.to, "R107_00420");
    for (const char* bad : {"R107_00405", "R107_00405=", "=R107_00420", "R107_405=R107_00420", "10.0.0.1=R107_00420"})
        EXPECT_FALSE(ParseDeviceMap(bad, map)) << bad;

    for (const char* name : {"K105_01502", "?108_00001", "192.168.1.22"}) EXPECT_TRUE(NamesController(name)) << name;
    for (const char* file : {"k.json", "K105_01502.json", "./K105_01502", "k105_01502", "192.168.1"})
        EXPECT_FALSE(NamesController(file)) << file;
}

} // namespace
