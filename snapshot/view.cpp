#include "snapshot/view.h"

#include <cstdio>

#include "link/devid.h"
#include "link/target.h"
#include "link/udpdev.h"
#include "snapshot/text.h"

namespace {

struct Slot {
    const char* key;
    const char* label;
};

// Door functions, with the report's labels (which tell the two "Uzbrojenie" apart).
constexpr Slot kDoorOutputSlots[kDoorOutputs] = {
    {"lock", "Rygiel"},          {"reminder", "Przypomnienie"}, {"alarm", "Alarm"},
    {"armedOut", "Uzbrojenie (wy)"}, {"guard", "Strażnik"},      {"switched", "Ustawiane"},
};
constexpr Slot kDoorInputSlots[kDoorInputs] = {
    {"exitButton", "Przycisk wyjścia"}, {"doorSensor", "Czujnik otwarcia"}, {"fire", "Pożar"},
    {"armedIn", "Uzbrojenie (we)"},     {"doorbell", "Dzwonek"},           {"tamper1", "Tamper 1"},
    {"tamper2", "Tamper 2"},            {"tamper3", "Tamper 3"},           {"mainsFailure", "Brak zasilania AC"},
    {"batteryLow", "Akumulator"},
};
// The lift's input slots 0-2 are not on its page; they are kept and shown here by number.
constexpr Slot kLiftInputSlots[kLiftInputs] = {
    {"input1", "Wejście 1"},  {"input2", "Wejście 2"},  {"input3", "Wejście 3"},
    {"tamper1", "Tamper 1"},  {"tamper2", "Tamper 2"},  {"tamper3", "Tamper 3"},
    {"mainsFailure", "Brak zasilania AC"}, {"batteryLow", "Akumulator"},
};
constexpr const char* kDoorTypes[] = {"Otwarte", "Normalne", "Bistabilne", "Astabilne", "Zablokowane"};

Field Resource(const char* key, const std::string& label, ResId id, ResKind kind, const BusDevSet& devs,
               uint32_t controllerId, OwnNames names)
{
    const std::string text = ResourceText(id, kind, devs, controllerId, names);
    return {key, label, text, id == kNoRes ? Json() : Json(text)};
}

Field Flag(const char* key, const char* label, bool on) { return {key, label, on ? "tak" : "nie", Json(on)}; }

Field Time(const char* key, const char* label, uint8_t halfSeconds)
{
    return {key, label, TimeText(halfSeconds) + " s", Json(halfSeconds / 2.0)};
}

Field Name(const RecordBytes& record)
{
    const std::string name = Utf8FromCp1250(RecordName(record));
    return {"name", "Nazwa", name, Json(name)};
}

// Bytes of the name field after its text (and the 16th byte, always taken as the end).
void MarkNameTail(const RecordBytes& record, RecordBytes& bits)
{
    const std::size_t at = kParamsAt + kNameAt;
    bool ended = false;
    for (std::size_t i = 0; i < kNameSize; ++i) {
        if (ended || i == kNameSize - 1) bits[at + i] = 0xFF;
        if (record[at + i] == 0) ended = true;
    }
}

std::string Trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

} // namespace

std::string HexByte(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFFu);
    return text;
}

std::string ResourceText(ResId id, ResKind kind, const BusDevSet& devs, uint32_t controllerId, OwnNames names)
{
    if (id == kNoRes) return "---";
    const int index = ResDevice(id);
    std::string device;
    if (index >= devs.recordCount || IsAbsentId(devs.records[static_cast<std::size_t>(index)].id)) {
        device = "?" + std::to_string(index);
    } else {
        const uint32_t devId = devs.records[static_cast<std::size_t>(index)].id;
        device = names == OwnNames::AsController && devId == controllerId ? "kontroler" : DevName(devId);
    }
    std::string text = device + ":" + BusDevSet::ResourcePrefix(kind) + std::to_string(ResNumber(id) + 1);
    const bool ncKind = kind == ResKind::Output || kind == ResKind::Input;
    if (ncKind && ResHasNc(id)) text += " NC";
    const unsigned spare = id & (ncKind ? 0x60u : 0xE0u);
    if (spare != 0) text += " [" + HexByte(spare) + "]";
    return text;
}

std::vector<Field> RecordFields(int kind, const RecordBytes& record, const BusDevSet& devs, uint32_t controllerId,
                                OwnNames names)
{
    std::vector<Field> fields;
    fields.push_back(Name(record));
    const auto param = [&record](int offset) { return record[kParamsAt + static_cast<std::size_t>(offset)]; };
    const auto reader = [&](int slot) {
        const std::string n = std::to_string(slot + 1);
        fields.push_back(Resource(("reader" + n).c_str(), "Czytnik " + n, RecordSlot(record, kReadersAt, kReaderSlots, slot),
                                  ResKind::Reader, devs, controllerId, names));
    };

    if (kind == 2) {
        for (int s = 0; s < kLiftSets; ++s) {
            const std::string floors = std::to_string(8 * s + 1) + ".." + std::to_string(8 * s + 8);
            fields.push_back(Resource(("floors" + std::to_string(8 * s + 1)).c_str(), "Piętra " + floors,
                                      RecordSlot(record, kOutputsAt, kLiftSets, s), ResKind::OutputSet, devs,
                                      controllerId, names));
        }
        for (int s = 0; s < kLiftInputs; ++s)
            fields.push_back(Resource(kLiftInputSlots[s].key, kLiftInputSlots[s].label,
                                      RecordSlot(record, kLiftInputsAt, kLiftInputs, s), ResKind::Input, devs,
                                      controllerId, names));
        for (int s = 0; s < kReaderSlots; ++s) reader(s);
        fields.push_back(Time("unlockTime", "Czas odblokowania przycisków", param(4)));
        return fields;
    }

    const int type = param(0) & 0x0F;
    const std::string typeName = type < 5 ? kDoorTypes[type] : "typ " + std::to_string(type);
    fields.push_back({"type", "Typ", typeName, Json(typeName)});
    for (int s = 0; s < kDoorOutputs; ++s)
        fields.push_back(Resource(kDoorOutputSlots[s].key, kDoorOutputSlots[s].label, RecordSlot(record, kOutputsAt, kDoorOutputs, s),
                                  ResKind::Output, devs, controllerId, names));
    for (int s = 0; s < kDoorInputs; ++s)
        fields.push_back(Resource(kDoorInputSlots[s].key, kDoorInputSlots[s].label,
                                  RecordSlot(record, kDoorInputsAt, kDoorInputs, s), ResKind::Input, devs, controllerId,
                                  names));
    for (int s = 0; s < kReaderSlots; ++s) reader(s);
    for (int s = 0; s < kReaderSlots; ++s) {
        const std::string n = std::to_string(s + 1);
        fields.push_back(Flag(("reader" + n + "Exit").c_str(), ("Wyjście (czytnik " + n + ")").c_str(),
                              (param(32 + 4 * s) & 1) != 0));
    }
    const uint8_t b2 = param(2);
    if ((b2 & 4) != 0) {
        const int airlock = (b2 & 3) + 1;
        fields.push_back({"airlock", "Śluza", "Śluza " + std::to_string(airlock), Json(airlock)});
    } else {
        fields.push_back({"airlock", "Śluza", "brak", Json()});
    }
    fields.push_back(Flag("handle", "Otwieranie klamką", (b2 & 0x40) != 0));
    fields.push_back(Flag("fullPulse", "Pełny impuls rygla", (b2 & 0x80) != 0));
    fields.push_back(Time("lockPulse", "Impuls otwarcia rygla", param(4)));
    fields.push_back(Time("openTime", "Dozw. czas otwarcia", param(6)));
    return fields;
}

Json FieldsJson(const std::vector<Field>& fields)
{
    Json object = Json::object();
    for (const Field& f : fields) object[f.key] = f.value;
    return object;
}

RecordBytes UninterpretedBits(int kind, const RecordBytes& record)
{
    RecordBytes bits{};
    uint8_t* p = bits.data() + kParamsAt;
    const uint8_t* r = record.data() + kParamsAt;
    if (kind == 2) {
        for (int i = 0; i < 48; ++i) p[i] = i == 4 ? 0 : 0xFF;
    } else {
        p[0] = 0xF0;
        p[1] = 0xFF;
        // The airlock number counts only while the door belongs to an airlock.
        p[2] = static_cast<uint8_t>(0x38 | ((r[2] & 4) != 0 ? 0 : 3));
        p[3] = 0xFF;
        p[5] = 0xFF;
        p[7] = 0xFF;
        for (int i = 8; i < 48; ++i) p[i] = 0xFF;
        for (int s = 0; s < kReaderSlots; ++s) p[32 + 4 * s] = 0xFE;
    }
    MarkNameTail(record, bits);
    return bits;
}

std::vector<std::string> DeviceLines(const BusDevSet& devs)
{
    std::vector<std::string> lines;
    for (int p = 0; p < devs.presentCount; ++p)
        lines.push_back(Utf8FromCp1250(devs.DevLine(devs.records[devs.order[static_cast<std::size_t>(p)]])));
    return lines;
}

Json DevicesJson(const BusDevSet& devs)
{
    Json list = Json::array();
    for (int i = 0; i < devs.recordCount; ++i) {
        const BusDev& d = devs.records[static_cast<std::size_t>(i)];
        Json entry;
        entry["slot"] = i;
        entry["id"] = d.id;
        if (IsAbsentId(d.id)) {
            entry["absent"] = true;
        } else {
            entry["name"] = DevName(d.id);
            entry["label"] = devs.DevLabel(d);
            entry["type"] = TypeCode(d.id);
            entry["typeName"] = Utf8FromCp1250(Trimmed(TypeName(TypeCategory(d.id))));
            entry["status"] = d.status;
            entry["outputs"] = d.outCount;
            entry["openCollector"] = d.hasOc;
            entry["inputs"] = d.inCount;
            entry["readers"] = d.rdCount;
            entry["outputSets"] = d.setCount;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

std::string RecordPlace(int kind, int index)
{
    return kind == 2 ? std::string("Winda") : "Przejście " + std::to_string(index + 1);
}

Json ControllerJson(const Snapshot& snap)
{
    return {{"name", DevName(snap.controllerId)},
            {"id", snap.controllerId},
            {"ip", IpText(snap.ip)},
            {"status", snap.status},
            {"mode", ModeName(snap.status)}};
}

Json RecordJson(const Snapshot& snap, const BusDevSet& devs, int index, RawRecord raw)
{
    const SnapRecord& r = snap.records[static_cast<std::size_t>(index)];
    Json entry;
    if (snap.kind != 2) entry["door"] = index + 1;
    entry["read"] = r.read;
    if (r.read) {
        if (raw == RawRecord::With) entry["record"] = HexText(r.bytes.data(), r.bytes.size());
        entry["decoded"] = FieldsJson(RecordFields(snap.kind, r.bytes, devs, snap.controllerId, OwnNames::DeviceName));
    }
    return entry;
}

std::string ShowText(const Snapshot& snap)
{
    BusDevSet devs;
    if (!SnapshotDevices(snap, devs)) return {};
    std::string out = DevName(snap.controllerId) + "  " + IpText(snap.ip) + "  " + ModeName(snap.status) + "\n";
    out += snap.kind == 2 ? "Kontroler windy\n" : "Kontroler przejść, przejścia: " + std::to_string(snap.doorCount) + "\n";
    out += "\nUrządzenia:\n";
    for (const std::string& line : DeviceLines(devs)) out += line + "\n";
    for (int i = 0; i < snap.doorCount; ++i) {
        const SnapRecord& r = snap.records[static_cast<std::size_t>(i)];
        out += "\n" + RecordPlace(snap.kind, i) + ":\n";
        if (!r.read) {
            out += "  nie odczytano (kontroler przysłał nieprawidłowy blok)\n";
            continue;
        }
        for (const Field& f : RecordFields(snap.kind, r.bytes, devs, snap.controllerId, OwnNames::DeviceName))
            out += "  " + f.label + ": " + f.text + "\n";
    }
    return out;
}

Json ShowJson(const Snapshot& snap)
{
    BusDevSet devs;
    Json out;
    if (!SnapshotDevices(snap, devs)) return out;
    out["controller"] = ControllerJson(snap);
    out["kind"] = snap.kind == 2 ? "lift" : "doors";
    out["doorCount"] = snap.doorCount;
    out["devices"] = DevicesJson(devs);
    if (snap.kind == 2) {
        out["lift"] = snap.doorCount > 0 ? RecordJson(snap, devs, 0, RawRecord::Without) : Json();
    } else {
        Json doors = Json::array();
        for (int i = 0; i < snap.doorCount; ++i) doors.push_back(RecordJson(snap, devs, i, RawRecord::Without));
        out["doors"] = doors;
    }
    return out;
}
