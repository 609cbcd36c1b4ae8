#include "ctl/ctl.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>

#include "link/devid.h"
#include "link/endpoint.h"
#include "link/frame.h"
#include "link/udpdev.h"
#include "model/ctrlcfg.h"
#include "report/report.h"
#include "snapshot/diff.h"
#include "snapshot/text.h"
#include "snapshot/view.h"
#include "trace/trace.h"

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

struct Stopped {};

constexpr const char* kPrefix = "olmctl: ";
constexpr std::size_t kMaxLocation = 80;   // the location dialog's limit, in characters

void Say(Ctl& ctl, const std::string& line) { ctl.err << kPrefix << line << "\n"; }

// Runs a command's body, turning every failure into lines on the error stream and status 1. A
// command's controller set is declared outside, so that it is still alive here (a UErr's text reads
// its controller); it closes the sessions when it goes.
template <typename Body>
int Guarded(Ctl& ctl, Body&& body)
{
    try {
        return body();
    } catch (const Stopped&) {
        Say(ctl, "przerwano; otwarte sesje zostają zamknięte");
    } catch (const CtlError& e) {
        for (const std::string& line : e.lines) Say(ctl, line);
    } catch (const std::exception& e) {
        Say(ctl, ErrorLine(e));
    }
    return 1;
}

// The broken-down local time, from the C library of either platform.
std::tm LocalTime(std::time_t t)
{
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return tm;
}

std::string Stamp(std::time_t t)
{
    const std::tm tm = LocalTime(t);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &tm);
    return text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) throw CtlError(path + ": nie można otworzyć pliku (" + std::strerror(errno) + ")");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) file.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (file) file.close();
    if (!file) throw CtlError(path + ": nie można zapisać pliku (" + std::strerror(errno) + ")");
}

bool FileExists(const std::string& path) { return static_cast<bool>(std::ifstream(path)); }

Snapshot LoadSnapshot(const std::string& path)
{
    Snapshot snap;
    std::string problem;
    if (!DecodeSnapshot(ReadFile(path), snap, problem)) throw CtlError(path + ": " + problem);
    return snap;
}

// The doors (or the lift) of a controller reading that came back with no valid block: bit i for
// record i.
void WarnUnread(Ctl& ctl, uint32_t controllerId, int kind, unsigned unread, const std::string& consequence)
{
    for (int i = 0; i < kMaxDoors; ++i)
        if ((unread >> i) & 1u)
            Say(ctl, DevName(controllerId) + ", " + RecordPlace(kind, i) +
                         ": kontroler przysłał nieprawidłowy blok; " + consequence);
}

void WarnUnread(Ctl& ctl, const Snapshot& snap, const std::string& consequence)
{
    unsigned unread = 0;
    for (int i = 0; i < snap.doorCount; ++i)
        if (!snap.records[static_cast<std::size_t>(i)].read) unread |= 1u << i;
    WarnUnread(ctl, snap.controllerId, snap.kind, unread, consequence);
}

// A controller that is found, answers, has a bus and allows its configuration to be read.
UdpDev& ConfigurableController(UdpDevSet& set, const std::string& name)
{
    UdpDev& dev = FindController(set, name);
    if (TypeCategory(dev.id) != kControllerCategory)
        throw CtlError(DevName(dev.id) + " nie jest kontrolerem i nie ma konfiguracji przejść");
    if (!dev.PollStatus()) throw UErr(dev, 1, 0);
    if (dev.ModeIndex() < 2) throw UErr(dev, 8, 0);
    CheckStop();
    return dev;
}

// Runs a command's body on the configurable controller that `name` names, found by a search of
// the command's own.
template <typename Body>
int OnController(Ctl& ctl, const std::string& name, Body&& body)
{
    UdpDevSet found;
    return Guarded(ctl, [&] {
        SearchControllers(found);
        return body(ConfigurableController(found, name));
    });
}

void LoadDevices(UdpDev& dev, BusDevSet& devs)
{
    devs.Clear();
    devs.Load(dev);
    if (devs.doorCount == 0) throw CtlError(DevName(dev.id) + ": kontroler przysłał nieprawidłową listę urządzeń");
    CheckStop();
}

std::vector<std::string> PresentNames(const BusDevSet& devs, uint8_t status)
{
    std::vector<std::string> names;
    for (int p = 0; p < devs.presentCount; ++p) {
        const BusDev& d = devs.records[devs.order[static_cast<std::size_t>(p)]];
        if ((d.status & status) != 0) names.push_back(DevName(d.id));
    }
    return names;
}

std::string Joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

// After a command that changed the bus: the device list read again, as the panel would show it.
void PrintDevicesNow(Ctl& ctl, UdpDev& dev, BusDevSet& devs)
{
    LoadDevices(dev, devs);
    ctl.out << "Urządzenia " << DevName(dev.id) << ":\n";
    for (const std::string& line : DeviceLines(devs)) ctl.out << line << "\n";
}

// "przejścia: 8, urządzenia: 10" or "winda, urządzenia: 4".
std::string Contents(const Snapshot& snap)
{
    BusDevSet devs;
    SnapshotDevices(snap, devs);
    return (snap.kind == 2 ? std::string("winda") : "przejścia: " + std::to_string(snap.doorCount)) +
           ", urządzenia: " + std::to_string(devs.presentCount);
}

std::string KeepPath(const Ctl& ctl, const std::string& snapshotPath, const Snapshot& target)
{
    if (!ctl.options.keep.empty()) return ctl.options.keep;
    std::string stem = snapshotPath;
    if (stem.size() > 5 && stem.compare(stem.size() - 5, 5, ".json") == 0) stem.resize(stem.size() - 5);
    const std::string base = stem + "." + DevName(target.controllerId) + "-" + Stamp(ctl.clock());
    std::string path = base + ".keep.json";
    for (int n = 2; FileExists(path); ++n) path = base + "-" + std::to_string(n) + ".keep.json";
    return path;
}

// The reason why a replacement pair is not one, one line per rule broken.
std::vector<std::string> PairProblems(const BusDevSet& devs, const std::string& oldName, const std::string& newName)
{
    const BusDev* old = nullptr;
    const BusDev* fresh = nullptr;
    for (int p = 0; p < devs.presentCount; ++p) {
        const BusDev& d = devs.records[devs.order[static_cast<std::size_t>(p)]];
        if (!old && DevName(d.id) == oldName) old = &d;
        if (!fresh && DevName(d.id) == newName) fresh = &d;
    }
    std::vector<std::string> problems;
    if (!old) problems.push_back("na magistrali nie ma urządzenia " + oldName);
    else if ((old->status & kStatusInactive) == 0) problems.push_back(oldName + " nie jest nieaktywne");
    if (!fresh) problems.push_back("na magistrali nie ma urządzenia " + newName);
    else if ((fresh->status & kStatusNew) == 0) problems.push_back(newName + " nie jest nowe");
    if (old && fresh && TypeCode(old->id) != TypeCode(fresh->id))
        problems.push_back(oldName + " i " + newName + " mają różne typy (" + std::to_string(TypeCode(old->id)) +
                           " i " + std::to_string(TypeCode(fresh->id)) + ")");
    if (old && old == fresh) problems.push_back("urządzenie nie może zastąpić samego siebie");
    if (problems.empty()) problems.push_back(oldName + " <-- " + newName + " nie jest parą do zastąpienia");
    return problems;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Stop requests.

void RequestStop() noexcept { stopRequested.store(true); }
bool StopRequested() noexcept { return stopRequested.load(); }
void ResetStop() noexcept { stopRequested.store(false); }

void CheckStop()
{
    if (StopRequested()) throw Stopped{};
}

// ---------------------------------------------------------------------------------------------
// Finding controllers.

void SearchControllers(UdpDevSet& set)
{
    set.sendTimeFrames = false;
    set.Search();
    CheckStop();
}

bool NamesController(const std::string& text)
{
    if (ParseIp(text)) return true;
    if (text.size() != 10 || text[4] != '_') return false;
    for (std::size_t i = 1; i < text.size(); ++i)
        if (i != 4 && !(text[i] >= '0' && text[i] <= '9')) return false;
    return (text[0] >= 'A' && text[0] <= 'Z') || text[0] == '?';
}

UdpDev& FindController(UdpDevSet& set, const std::string& nameOrAddress)
{
    std::vector<int> hits;
    for (int i = 0; i < set.count; ++i) {
        const UdpDev& dev = set[i];
        if (DevName(dev.id) == nameOrAddress || dev.IpText() == nameOrAddress) hits.push_back(i);
    }
    if (hits.empty()) {
        if (set.count == 0) throw CtlError("nie znaleziono żadnego kontrolera w sieci");
        throw CtlError("nie znaleziono kontrolera " + nameOrAddress);
    }
    if (hits.size() > 1) {
        std::vector<std::string> names;
        for (const int i : hits) names.push_back(DevName(set[i].id) + " (" + set[i].IpText() + ")");
        throw CtlError(nameOrAddress + " wskazuje kilka urządzeń: " + Joined(names) + "; podaj nazwę urządzenia");
    }
    return set[hits.front()];
}

// ---------------------------------------------------------------------------------------------
// Reading and restoring.

Snapshot ReadController(UdpDev& dev, const Ctl& ctl)
{
    if (TypeCategory(dev.id) != kControllerCategory)
        throw CtlError(DevName(dev.id) + " nie jest kontrolerem i nie ma konfiguracji przejść");
    Block block{};
    const std::size_t listLength = std::min(dev.ReadDevices(block), block.size());
    if (listLength == 0) throw UErr(dev, 8, 0);
    CheckStop();
    const std::vector<uint8_t> list(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(listLength));
    BusDevSet devs;
    if (!devs.Decode(list)) throw CtlError(DevName(dev.id) + ": kontroler przysłał nieprawidłową listę urządzeń");

    // As the window does: one session check, then one C per door in index order.
    dev.EnsureSession();
    std::vector<std::vector<uint8_t>> blocks;
    for (int i = 0; i < devs.doorCount; ++i) {
        CheckStop();
        const std::size_t n =
            std::min(dev.ReadBlock(static_cast<uint8_t>(devs.kind), static_cast<uint8_t>(i), block), block.size());
        blocks.emplace_back(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(n));
    }
    CheckStop();
    Snapshot snap;
    MakeSnapshot(snap, list, blocks);
    snap.taken = UtcText(ctl.clock());
    snap.program = ctl.program;
    snap.controllerId = dev.id;
    snap.ip = dev.ip;
    snap.status = static_cast<uint8_t>(dev.mode);
    return snap;
}

int RestoreOnto(Ctl& ctl, UdpDev& dev, const Snapshot& snap, const std::string& snapshotPath)
{
    const Snapshot target = ReadController(dev, ctl);
    const RestorePlan plan = MapSnapshot(snap, target, ctl.options.maps, ctl.options.doors);
    if (!plan.problems.empty()) {
        std::vector<std::string> lines = plan.problems;
        lines.push_back("przywracanie odrzucone; na " + DevName(target.controllerId) + " nic nie zapisano");
        throw CtlError(lines);
    }
    BusDevSet devs;
    SnapshotDevices(target, devs);
    for (const std::string& place : plan.skipped) ctl.out << place << ": pominięte, kopia go nie zawiera\n";

    std::vector<int> changed;
    for (const int i : plan.indexes) {
        const SnapRecord& now = target.records[static_cast<std::size_t>(i)];
        if (!now.read || now.bytes != plan.records[static_cast<std::size_t>(i)]) changed.push_back(i);
    }
    const auto differs = [&changed](int i) { return std::find(changed.begin(), changed.end(), i) != changed.end(); };

    if (!ctl.options.yes) {
        for (const int i : plan.indexes) {
            const std::string place = RecordPlace(target.kind, i);
            const SnapRecord& now = target.records[static_cast<std::size_t>(i)];
            if (!differs(i)) {
                ctl.out << place << ": bez zmian\n";
            } else if (!now.read) {
                ctl.out << place << ": do zapisania (obecnego zapisu nie odczytano)\n";
            } else {
                ctl.out << place << ": do zapisania\n";
                ctl.out << DiffText(DiffRecords(target.kind, i, now.bytes, devs, target.controllerId,
                                                plan.records[static_cast<std::size_t>(i)], devs, target.controllerId),
                                    "    ");
            }
        }
        ctl.out << "Próba: nic nie zapisano. Aby zapisać, dodaj --yes.\n";
        return 0;
    }
    if (changed.empty()) {
        for (const int i : plan.indexes) ctl.out << RecordPlace(target.kind, i) << ": bez zmian\n";
        ctl.out << "Nic do zapisania.\n";
        return 0;
    }

    // Every restore can be undone: the target as it is now goes to a file before anything is written.
    const std::string keep = KeepPath(ctl, snapshotPath, target);
    std::error_code same;
    if (std::filesystem::equivalent(keep, snapshotPath, same))
        throw CtlError("--keep " + keep + ": to plik przywracanej kopii; nic nie zapisano");
    WriteFile(keep, EncodeSnapshot(target));
    ctl.out << "Stan sprzed przywrócenia zapisano w " << keep << "\n";

    std::vector<std::string> written;
    const auto stopAt = [&](const std::string& place, const std::string& reason) {
        std::vector<std::string> lines{place + ": " + reason};
        lines.push_back(written.empty() ? "przywracanie przerwane; nic nie zapisano"
                                        : "przywracanie przerwane; zapisane wcześniej: " + Joined(written));
        lines.push_back("poprzedni stan: " + keep);
        return CtlError(lines);
    };
    const auto kind = static_cast<uint8_t>(target.kind);
    dev.EnsureSession();
    for (const int i : plan.indexes) {
        const std::string place = RecordPlace(target.kind, i);
        if (!differs(i)) {
            ctl.out << place << ": bez zmian\n";
            continue;
        }
        if (StopRequested()) throw stopAt(place, "przerwano przed zapisem");
        const RecordBytes& record = plan.records[static_cast<std::size_t>(i)];
        Block block{};
        std::size_t n = 0;
        try {
            dev.WriteBlock(kind, static_cast<uint8_t>(i), record.size(), record.data());
            written.push_back(place);
            n = std::min(dev.ReadBlock(kind, static_cast<uint8_t>(i), block), block.size());
        } catch (const UErr& e) {
            const std::string reason = "błąd: " + ErrorLine(e);
            ctl.out << place << ": " << reason << "\n";
            throw stopAt(place, reason);
        }
        // What the controller now holds must be byte for byte what was sent.
        RecordBytes back{};
        const bool valid = RecordAsSent(std::span<const uint8_t>(block.data(), n), kind, back);
        if (!valid || back != record) {
            std::string reason = "zapisane, ale odczyt nie zgadza się z wysłanym";
            if (!valid) reason += " (nieprawidłowy blok)";
            for (std::size_t b = 0; valid && b < record.size(); ++b) {
                if (back[b] == record[b]) continue;
                char detail[64];
                std::snprintf(detail, sizeof detail, " (bajt %zu: wysłano 0x%02X, odczytano 0x%02X)", b,
                              static_cast<unsigned>(record[b]), static_cast<unsigned>(back[b]));
                reason += detail;
                break;
            }
            ctl.out << place << ": " << reason << "\n";
            throw stopAt(place, reason);
        }
        ctl.out << place << ": zapisane i sprawdzone\n";
    }
    return 0;
}

std::string ErrorLine(const std::exception& e)
{
    // The link's messages are cp1250 text of several lines: one line of UTF-8 here.
    const auto* link = dynamic_cast<const UErr*>(&e);
    const std::string text = link ? link->Text() : e.what();
    std::string line;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(start, end - start);
        if (!part.empty()) line += (line.empty() ? "" : " ") + (link ? Utf8FromCp1250(part) : part);
        start = end + 1;
    }
    return line;
}

// ---------------------------------------------------------------------------------------------
// Commands.

int CmdScan(Ctl& ctl)
{
    UdpDevSet set;
    return Guarded(ctl, [&] {
        SearchControllers(set);
        if (ctl.options.json) {
            Json list = Json::array();
            for (int i = 0; i < set.count; ++i)
                list.push_back({{"name", DevName(set[i].id)},
                                {"id", set[i].id},
                                {"ip", set[i].IpText()},
                                {"status", set[i].mode},
                                {"mode", Utf8FromCp1250(set[i].ModeName())}});
            ctl.out << list.dump(2) << "\n";
        } else {
            for (int i = 0; i < set.count; ++i) {
                std::string ip = set[i].IpText();
                ip.resize(std::max<std::size_t>(ip.size(), 15), ' ');
                ctl.out << DevName(set[i].id) << "  " << ip << "  " << Utf8FromCp1250(set[i].ModeName()) << "\n";
            }
            if (set.count == 0) Say(ctl, "nie znaleziono żadnego urządzenia");
        }
        return 0;
    });
}

int CmdTime(Ctl& ctl, const std::string& which)
{
    UdpDevSet found;
    return Guarded(ctl, [&] {
        SearchControllers(found);
        std::vector<UdpDev*> targets;
        if (which == "all") {
            for (int i = 0; i < found.count; ++i) targets.push_back(&found[i]);
            if (targets.empty()) throw CtlError("nie znaleziono żadnego kontrolera w sieci");
        } else {
            targets.push_back(&FindController(found, which));
        }
        for (UdpDev* dev : targets) {
            CheckStop();
            // The time frame: seconds since 1970 UTC; the controller sends no answer.
            Endpoint& udp = UDP();
            const auto seconds = static_cast<uint32_t>(udp.UtcSeconds());
            uint8_t payload[4];
            PutU32(payload, seconds);
            const std::vector<uint8_t> frame = BuildUnsigned('T', dev->id, payload);
            udp.SendTo(dev->ip, kUdpPort, frame.data(), frame.size());
            ctl.out << DevName(dev->id) << "  " << dev->IpText() << ": wysłano czas "
                    << UtcText(seconds) << "\n";
        }
        return 0;
    });
}

int CmdShow(Ctl& ctl, const std::string& what)
{
    UdpDevSet found;
    return Guarded(ctl, [&] {
        Snapshot snap;
        if (NamesController(what)) {
            SearchControllers(found);
            snap = ReadController(ConfigurableController(found, what), ctl);
            WarnUnread(ctl, snap, "nie można go pokazać");
        } else {
            snap = LoadSnapshot(what);
        }
        if (ctl.options.json) ctl.out << ShowJson(snap).dump(2) << "\n";
        else ctl.out << ShowText(snap);
        return 0;
    });
}

int CmdBackup(Ctl& ctl, const std::string& controller)
{
    return OnController(ctl, controller, [&](UdpDev& dev) {
        const Snapshot snap = ReadController(dev, ctl);
        WarnUnread(ctl, snap, "w kopii zapisane jako nieodczytane");
        const std::string text = EncodeSnapshot(snap);
        if (ctl.options.output == "-") {
            ctl.out << text;
        } else {
            WriteFile(ctl.options.output, text);
            ctl.out << "Kopia " << DevName(snap.controllerId) << " (" << Contents(snap) << ") zapisana w "
                    << ctl.options.output << "\n";
        }
        return 0;
    });
}

int CmdDiff(Ctl& ctl, const std::string& a, const std::string& b)
{
    UdpDevSet found;
    return Guarded(ctl, [&] {
        // Files first: a file that is refused needs no network.
        std::optional<Snapshot> fromFile[2];
        const std::string* names[2] = {&a, &b};
        for (int k = 0; k < 2; ++k)
            if (!NamesController(*names[k])) fromFile[k] = LoadSnapshot(*names[k]);
        if (!fromFile[0] || !fromFile[1]) SearchControllers(found);
        const auto side = [&](int k) {
            if (fromFile[k]) return *fromFile[k];
            Snapshot snap = ReadController(ConfigurableController(found, *names[k]), ctl);
            WarnUnread(ctl, snap, "porównane jako nieodczytane");
            return snap;
        };
        const Snapshot sa = side(0);
        const Snapshot sb = side(1);
        const std::vector<Difference> differences = Diff(sa, sb);
        if (ctl.options.json) {
            Json doc;
            doc["a"] = a;
            doc["b"] = b;
            doc["equal"] = differences.empty();
            doc["differences"] = DiffJson(differences);
            ctl.out << doc.dump(2) << "\n";
        } else {
            ctl.out << DiffText(differences);
        }
        return differences.empty() ? 0 : 1;
    });
}

int CmdRestore(Ctl& ctl, const std::string& file, const std::string& controller)
{
    // The file first: a snapshot that is refused needs no network at all.
    Snapshot snap;
    {
        const int status = Guarded(ctl, [&] {
            snap = LoadSnapshot(file);
            return 0;
        });
        if (status != 0) return status;
    }
    return OnController(ctl, controller, [&](UdpDev& dev) { return RestoreOnto(ctl, dev, snap, file); });
}

int CmdReport(Ctl& ctl, const std::string& controller)
{
    return OnController(ctl, controller, [&](UdpDev& dev) {
        // Exactly the window's reading: a cleared model, the device list, then the doors.
        BusDevSet devs;
        DoorConfig doors(devs);
        doors.Clear();
        LoadDevices(dev, devs);
        if (devs.kind != 1)
            throw CtlError("raport dotyczy tylko kontrolerów przejść, a " + DevName(dev.id) + " to kontroler windy");
        doors.Load(dev);
        CheckStop();
        WarnUnread(ctl, dev.id, 1, doors.UnreadDoors(), "w raporcie jako nieodczytane");
        const std::time_t now = ctl.clock();
        const std::tm tm = LocalTime(now);
        const ReportDate date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
        try {
            WriteReport(ctl.options.output, dev.id, devs, doors, Cp1250FromUtf8(ctl.options.location), date);
        } catch (const ReportFileError& e) {
            throw CtlError(ctl.options.output + ": nie można zapisać pliku (" + e.systemMessage + ")");
        }
        ctl.out << "Raport " << DevName(dev.id) << " zapisany w " << ctl.options.output << "\n";
        return 0;
    });
}

int CmdDeleteInactive(Ctl& ctl, const std::string& controller)
{
    return OnController(ctl, controller, [&](UdpDev& dev) {
        BusDevSet devs;
        LoadDevices(dev, devs);
        const std::vector<std::string> lost = PresentNames(devs, kStatusInactive);
        if (lost.empty()) throw CtlError(DevName(dev.id) + " nie ma nieaktywnych urządzeń; nic do usunięcia");
        if (!ctl.options.yes) {
            ctl.out << "Do usunięcia (nieaktywne): " << Joined(lost) << "\n";
            ctl.out << "Próba: nic nie zmieniono. Aby usunąć, dodaj --yes.\n";
            return 0;
        }
        dev.DeleteInactive();
        ctl.out << "Usunięto nieaktywne: " << Joined(lost) << "\n";
        PrintDevicesNow(ctl, dev, devs);
        return 0;
    });
}

int CmdReplace(Ctl& ctl, const std::string& controller, const std::string& oldName, const std::string& newName)
{
    return OnController(ctl, controller, [&](UdpDev& dev) {
        BusDevSet devs;
        LoadDevices(dev, devs);
        // The window's rule: only a pair it offers, an inactive device and a new one of its type.
        ResList pairs;
        const int n = devs.ReplacePairs(pairs);
        std::optional<uint16_t> pair;
        for (int q = 0; q < n && !pair; ++q)
            if (devs.SlotName(pairs[q] & 0x7F) == oldName && devs.SlotName((pairs[q] >> 8) & 0x7F) == newName)
                pair = pairs[q];
        if (!pair) throw CtlError(PairProblems(devs, oldName, newName));
        if (!ctl.options.yes) {
            ctl.out << "Do zastąpienia: " << oldName << " <-- " << newName << "\n";
            ctl.out << "Próba: nic nie zmieniono. Aby zastąpić, dodaj --yes.\n";
            return 0;
        }
        dev.ReplaceDevice(*pair);
        ctl.out << "Zastąpiono: " << oldName << " <-- " << newName << "\n";
        PrintDevicesNow(ctl, dev, devs);
        return 0;
    });
}

// ---------------------------------------------------------------------------------------------
// Arguments.

bool ParseDoorList(const std::string& text, std::vector<int>& doors)
{
    doors.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        if (item.size() != 1 || item[0] < '1' || item[0] > '8') return false;
        const int door = item[0] - '0';
        if (std::find(doors.begin(), doors.end(), door) == doors.end()) doors.push_back(door);
        start = end + 1;
    }
    std::sort(doors.begin(), doors.end());
    return !doors.empty();
}

bool ParseDeviceMap(const std::string& text, DeviceMap& map)
{
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos) return false;
    map.from = text.substr(0, eq);
    map.to = text.substr(eq + 1);
    return NamesController(map.from) && NamesController(map.to) && map.from.find('.') == std::string::npos &&
           map.to.find('.') == std::string::npos;
}

int CmdTraceView(Ctl& ctl, const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        Say(ctl, "nie można otworzyć pliku „" + file + "”");
        return 1;
    }
    if (PrintTrace(in, ctl.out)) return 0;
    Say(ctl, "niektóre wiersze pliku „" + file + "” nie są wierszami śladu");
    return 1;
}

int RunCommand(Ctl& ctl, const std::vector<std::string>& args)
{
    using Args = std::vector<std::string>;   // the command's name, then its arguments
    struct Command {
        const char* name;
        std::size_t arguments;
        std::set<std::string> options;
        const char* usage;
        int (*run)(Ctl&, const Args&);
    };
    static const Command kCommands[] = {
        {"scan", 0, {"json"}, "scan", [](Ctl& c, const Args&) { return CmdScan(c); }},
        {"time", 1, {}, "time NAZWA|all", [](Ctl& c, const Args& a) { return CmdTime(c, a[1]); }},
        {"show", 1, {"json"}, "show NAZWA|PLIK", [](Ctl& c, const Args& a) { return CmdShow(c, a[1]); }},
        {"backup", 1, {"output"}, "backup NAZWA -o PLIK", [](Ctl& c, const Args& a) { return CmdBackup(c, a[1]); }},
        {"diff", 2, {"json"}, "diff A B", [](Ctl& c, const Args& a) { return CmdDiff(c, a[1], a[2]); }},
        {"restore", 2, {"doors", "map", "yes", "keep"},
         "restore PLIK NAZWA [--doors 1,3] [--map STARE=NOWE] [--yes]",
         [](Ctl& c, const Args& a) { return CmdRestore(c, a[1], a[2]); }},
        {"report", 1, {"output", "location"}, "report NAZWA -o PLIK [--location TEKST]",
         [](Ctl& c, const Args& a) { return CmdReport(c, a[1]); }},
        {"delete-inactive", 1, {"yes"}, "delete-inactive NAZWA [--yes]",
         [](Ctl& c, const Args& a) { return CmdDeleteInactive(c, a[1]); }},
        {"replace", 3, {"yes"}, "replace NAZWA STARE NOWE [--yes]",
         [](Ctl& c, const Args& a) { return CmdReplace(c, a[1], a[2], a[3]); }},
        {"trace-view", 1, {}, "trace-view PLIK", [](Ctl& c, const Args& a) { return CmdTraceView(c, a[1]); }},
    };
    // The options of the network (where and how the controllers are reached) serve every command
    // that reaches them; a trace is read without any network.
    static const std::set<std::string> kNetworkOptions = {"demo", "target", "trace"};
    const auto usage = [&ctl](const std::string& line) {
        Say(ctl, line);
        return 2;
    };
    if (args.empty()) return usage("brak polecenia; zobacz olmctl --help");
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (args[0] == c.name) command = &c;
    if (!command) return usage("nieznane polecenie: " + args[0] + "; zobacz olmctl --help");
    if (args.size() - 1 != command->arguments) return usage("użycie: olmctl " + std::string(command->usage));
    for (const std::string& option : ctl.options.given) {
        if (command->options.count(option) || (kNetworkOptions.count(option) && args[0] != "trace-view")) continue;
        const std::string shown = option == "output" ? "-o" : "--" + option;
        return usage("opcja " + shown + " nie dotyczy polecenia " + args[0]);
    }
    const CtlOptions& o = ctl.options;
    if (command->options.count("output") && o.output.empty())
        return usage("polecenie " + args[0] + " wymaga opcji -o PLIK");
    if (args[0] == "report" && o.output == "-") return usage("raport zapisuje się tylko do pliku");
    if (args[0] == "report" && Utf8Length(o.location) > kMaxLocation)
        return usage("--location: najwyżej " + std::to_string(kMaxLocation) + " znaków");
    return command->run(ctl, args);
}
