#include "snapshot/snapshot.h"

#include <cstdio>
#include <optional>
#include <stdexcept>

#include "link/devid.h"
#include "link/target.h"
#include "snapshot/text.h"
#include "snapshot/view.h"

namespace {

// A refusal: its message names what is wrong with the file.
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Refuse(const std::string& what) { throw Refusal(what); }

std::string Entries(std::size_t n) { return Counted(static_cast<long>(n), "wpis", "wpisy", "wpisów"); }

std::string Bytes(std::size_t n) { return Counted(static_cast<long>(n), "bajt", "bajty", "bajtów"); }

const Json& Member(const Json& object, const char* key, const std::string& path)
{
    const auto it = object.find(key);
    if (it == object.end()) Refuse("brak pola \"" + path + "\"");
    return *it;
}

std::string Text(const Json& object, const char* key, const std::string& path)
{
    const Json& v = Member(object, key, path);
    if (!v.is_string()) Refuse("pole \"" + path + "\" musi być tekstem");
    return v.get<std::string>();
}

uint64_t Whole(const Json& object, const char* key, const std::string& path, uint64_t max)
{
    const Json& v = Member(object, key, path);
    if (!v.is_number_unsigned() || v.get<uint64_t>() > max)
        Refuse("pole \"" + path + "\" musi być liczbą całkowitą od 0 do " + std::to_string(max));
    return v.get<uint64_t>();
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::vector<uint8_t>> ParseHex(const std::string& text)
{
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::vector<uint8_t> Hex(const Json& object, const char* key, const std::string& path)
{
    const std::optional<std::vector<uint8_t>> bytes = ParseHex(Text(object, key, path));
    if (!bytes) Refuse("pole \"" + path + "\" nie jest zapisem szesnastkowym");
    return *bytes;
}

// The JSON value shown for a value in a message, shortened.
std::string Shown(const Json& v)
{
    std::string text = v.dump();
    if (text.size() > 40) text = text.substr(0, 37) + "...";
    return text;
}

// The file's object must hold exactly what the raw bytes give: every key with an equal value, and
// no other key. `what` names the part in the message.
void Agree(const Json& file, const Json& expected, const std::string& what)
{
    if (!file.is_object()) Refuse(what + ": część opisowa musi być obiektem JSON");
    for (const auto& [key, value] : expected.items()) {
        const auto it = file.find(key);
        if (it == file.end()) Refuse(what + ": w części opisowej brak pola \"" + key + "\"");
        if (*it != value)
            Refuse(what + ": część opisowa nie zgadza się z surowym zapisem (pole \"" + key + "\": " + Shown(*it) +
                   ", a z zapisu wynika " + Shown(value) + ")");
    }
    for (const auto& [key, value] : file.items())
        if (!expected.contains(key)) Refuse(what + ": nieznane pole \"" + key + "\" w części opisowej");
}

// One door (or the lift) of the file into the snapshot, checked against the raw record.
void ReadRecord(const Json& entry, Snapshot& snap, const BusDevSet& devs, int index, const std::string& path)
{
    const std::string place = snap.kind == 2 ? "winda" : "przejście " + std::to_string(index + 1);
    if (!entry.is_object()) Refuse("pole \"" + path + "\" musi być obiektem");
    if (snap.kind != 2) {
        const uint64_t door = Whole(entry, "door", path + ".door", 8);
        if (door != static_cast<uint64_t>(index + 1))
            Refuse("pole \"" + path + ".door\" ma numer " + std::to_string(door) + " zamiast " + std::to_string(index + 1));
    }
    const Json& read = Member(entry, "read", path + ".read");
    if (!read.is_boolean()) Refuse("pole \"" + path + ".read\" musi mieć wartość true albo false");
    SnapRecord& r = snap.records[static_cast<std::size_t>(index)];
    r.read = read.get<bool>();
    if (!r.read) {
        if (entry.contains("record") || entry.contains("decoded"))
            Refuse(place + ": oznaczone jako nieodczytane, a ma zapis");
        return;
    }
    const std::vector<uint8_t> bytes = Hex(entry, "record", path + ".record");
    if (bytes.size() != kRecordSize)
        Refuse(place + ": zapis ma " + Bytes(bytes.size()) + " zamiast " + std::to_string(kRecordSize));
    std::copy(bytes.begin(), bytes.end(), r.bytes.begin());
    const Json expected = FieldsJson(RecordFields(snap.kind, r.bytes, devs, snap.controllerId, OwnNames::DeviceName));
    Agree(Member(entry, "decoded", path + ".decoded"), expected, place);
}

void Decode(const std::string& text, Snapshot& snap)
{
    Json doc;
    try {
        doc = Json::parse(text);
    } catch (const Json::parse_error& e) {
        Refuse("to nie jest poprawny JSON (błąd w bajcie " + std::to_string(e.byte) + ")");
    }
    if (!doc.is_object()) Refuse("to nie jest kopia konfiguracji: plik nie zawiera obiektu JSON");
    const auto format = doc.find("format");
    if (format == doc.end()) Refuse("to nie jest kopia konfiguracji: brak pola \"format\"");
    if (!format->is_string() || format->get<std::string>() != kSnapshotFormat)
        Refuse("to nie jest kopia konfiguracji: format " + Shown(*format) + " zamiast \"" + kSnapshotFormat + "\"");
    const Json& version = Member(doc, "version", "version");
    if (!version.is_number_integer()) Refuse("pole \"version\" musi być liczbą całkowitą");
    if (version.get<int64_t>() > kSnapshotVersion)
        Refuse("wersja " + version.dump() + " kopii jest nowsza niż obsługiwana (" + std::to_string(kSnapshotVersion) +
               "); potrzebny nowszy program");
    if (version.get<int64_t>() < 1) Refuse("nieznana wersja kopii: " + version.dump());

    snap = Snapshot{};
    snap.taken = Text(doc, "taken", "taken");
    snap.program = Text(doc, "program", "program");

    const Json& controller = Member(doc, "controller", "controller");
    if (!controller.is_object()) Refuse("pole \"controller\" musi być obiektem");
    snap.controllerId = static_cast<uint32_t>(Whole(controller, "id", "controller.id", 0xFFFFFFFFu));
    const std::optional<uint32_t> ip = ParseIp(Text(controller, "ip", "controller.ip"));
    if (!ip) Refuse("pole \"controller.ip\" nie jest adresem IPv4");
    snap.ip = *ip;
    snap.status = static_cast<uint8_t>(Whole(controller, "status", "controller.status", 255));
    Agree(controller, ControllerJson(snap), "kontroler");

    snap.deviceList = Hex(doc, "deviceList", "deviceList");
    BusDevSet devs;
    if (!devs.Decode(snap.deviceList)) Refuse("lista urządzeń (\"deviceList\") jest nieprawidłowa");
    snap.kind = devs.kind;
    snap.doorCount = devs.doorCount;
    const std::string kind = Text(doc, "kind", "kind");
    const char* listed = snap.kind == 2 ? "lift" : "doors";
    if (kind != listed)
        Refuse("pole \"kind\" (\"" + kind + "\") nie zgadza się z listą urządzeń, która mówi \"" + listed + "\"");
    const uint64_t doorCount = Whole(doc, "doorCount", "doorCount", 8);
    if (doorCount != static_cast<uint64_t>(snap.doorCount))
        Refuse("pole \"doorCount\" (" + std::to_string(doorCount) + ") nie zgadza się z listą urządzeń (" +
               std::to_string(snap.doorCount) + ")");

    const Json& devices = Member(doc, "devices", "devices");
    const Json expectedDevices = DevicesJson(devs);
    if (!devices.is_array() || devices.size() != expectedDevices.size())
        Refuse("pole \"devices\" musi mieć " + Entries(expectedDevices.size()) + ", tyle ile lista urządzeń");
    for (std::size_t i = 0; i < devices.size(); ++i)
        Agree(devices[i], expectedDevices[i], "urządzenie na pozycji " + std::to_string(i));

    if (snap.kind == 2) {
        if (doc.contains("doors")) Refuse("kopia windy nie może mieć pola \"doors\"");
        ReadRecord(Member(doc, "lift", "lift"), snap, devs, 0, "lift");
        return;
    }
    if (doc.contains("lift")) Refuse("kopia kontrolera przejść nie może mieć pola \"lift\"");
    const Json& doors = Member(doc, "doors", "doors");
    if (!doors.is_array() || doors.size() != static_cast<std::size_t>(snap.doorCount))
        Refuse("pole \"doors\" musi mieć " + Entries(static_cast<std::size_t>(snap.doorCount)) + ", tyle ile przejść");
    for (int i = 0; i < snap.doorCount; ++i)
        ReadRecord(doors[static_cast<std::size_t>(i)], snap, devs, i, "doors[" + std::to_string(i) + "]");
}

} // namespace

bool SnapshotDevices(const Snapshot& snap, BusDevSet& devs) { return devs.Decode(snap.deviceList); }

bool MakeSnapshot(Snapshot& snap, const std::vector<uint8_t>& deviceList, const std::vector<std::vector<uint8_t>>& blocks)
{
    BusDevSet devs;
    if (!devs.Decode(deviceList)) return false;
    snap.deviceList = deviceList;
    snap.kind = devs.kind;
    snap.doorCount = devs.doorCount;
    snap.records = {};
    for (std::size_t i = 0; i < blocks.size() && i < static_cast<std::size_t>(snap.doorCount); ++i) {
        // Exactly as sent: the bytes that decoding would limit are kept as they came.
        SnapRecord& r = snap.records[i];
        r.read = RecordAsSent(blocks[i], snap.kind, r.bytes);
    }
    return true;
}

std::string EncodeSnapshot(const Snapshot& snap)
{
    BusDevSet devs;
    SnapshotDevices(snap, devs);
    Json doc;
    doc["format"] = kSnapshotFormat;
    doc["version"] = kSnapshotVersion;
    doc["taken"] = snap.taken;
    doc["program"] = snap.program;
    doc["controller"] = ControllerJson(snap);
    doc["kind"] = snap.kind == 2 ? "lift" : "doors";
    doc["doorCount"] = snap.doorCount;
    doc["deviceList"] = HexText(snap.deviceList.data(), snap.deviceList.size());
    doc["devices"] = DevicesJson(devs);
    if (snap.kind == 2) {
        doc["lift"] = RecordJson(snap, devs, 0, RawRecord::With);
    } else {
        Json doors = Json::array();
        for (int i = 0; i < snap.doorCount; ++i) doors.push_back(RecordJson(snap, devs, i, RawRecord::With));
        doc["doors"] = doors;
    }
    return doc.dump(2) + "\n";
}

bool DecodeSnapshot(const std::string& text, Snapshot& snap, std::string& problem)
{
    try {
        Decode(text, snap);
        return true;
    } catch (const Refusal& e) {
        problem = e.what();
    } catch (const Json::exception& e) {
        problem = std::string("nieprawidłowa kopia: ") + e.what();
    }
    snap = Snapshot{};
    return false;
}

std::string HexText(const uint8_t* data, std::size_t length)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (std::size_t i = 0; i < length; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 15];
    }
    return text;
}
