#include "snapshot/diff.h"

#include <algorithm>
#include <cstdio>

#include "link/devid.h"
#include "snapshot/text.h"

namespace {

std::string Pad(const std::string& text, std::size_t width)
{
    const std::size_t w = Utf8Length(text);
    return w >= width ? text : text + std::string(width - w, ' ');
}

// The devices of a bus other than its controller, by identifier, in display order.
std::vector<uint32_t> OtherDevices(const BusDevSet& devs, uint32_t controllerId)
{
    std::vector<uint32_t> ids;
    for (int p = 0; p < devs.presentCount; ++p) {
        const uint32_t id = devs.records[devs.order[static_cast<std::size_t>(p)]].id;
        if (id != controllerId && std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
    return ids;
}

const char* KindName(int kind) { return kind == 2 ? "winda" : "przejścia"; }

} // namespace

std::vector<Difference> DiffRecords(int kind, int index, const RecordBytes& a, const BusDevSet& devsA,
                                    uint32_t controllerA, const RecordBytes& b, const BusDevSet& devsB,
                                    uint32_t controllerB)
{
    std::vector<Difference> out;
    const std::string place = RecordPlace(kind, index);
    const int door = kind == 2 ? 0 : index + 1;
    const std::vector<Field> fa = RecordFields(kind, a, devsA, controllerA, OwnNames::AsController);
    const std::vector<Field> fb = RecordFields(kind, b, devsB, controllerB, OwnNames::AsController);
    for (std::size_t i = 0; i < fa.size() && i < fb.size(); ++i)
        if (fa[i].text != fb[i].text) out.push_back({place, door, fa[i].key, fa[i].label, fa[i].text, fb[i].text});
    const RecordBytes ma = UninterpretedBits(kind, a);
    const RecordBytes mb = UninterpretedBits(kind, b);
    for (std::size_t i = 0; i < kRecordSize; ++i) {
        const unsigned va = a[i] & ma[i];
        const unsigned vb = b[i] & mb[i];
        if (va != vb)
            out.push_back({place, door, "byte" + std::to_string(i), "bajt " + std::to_string(i) + " zapisu", HexByte(va),
                           HexByte(vb)});
    }
    return out;
}

std::vector<Difference> Diff(const Snapshot& a, const Snapshot& b)
{
    std::vector<Difference> out;
    BusDevSet devsA;
    BusDevSet devsB;
    SnapshotDevices(a, devsA);
    SnapshotDevices(b, devsB);

    if (TypeCode(a.controllerId) != TypeCode(b.controllerId))
        out.push_back({"Kontroler", 0, "controllerType", "Typ", std::to_string(TypeCode(a.controllerId)),
                       std::to_string(TypeCode(b.controllerId))});
    if (a.kind != b.kind) {
        out.push_back({"Kontroler", 0, "kind", "Rodzaj", KindName(a.kind), KindName(b.kind)});
        return out;
    }
    if (a.doorCount != b.doorCount)
        out.push_back({"Kontroler", 0, "doorCount", "Liczba przejść", std::to_string(a.doorCount),
                       std::to_string(b.doorCount)});

    const std::vector<uint32_t> onA = OtherDevices(devsA, a.controllerId);
    const std::vector<uint32_t> onB = OtherDevices(devsB, b.controllerId);
    for (const uint32_t id : onA)
        if (std::find(onB.begin(), onB.end(), id) == onB.end())
            out.push_back({"Urządzenia", 0, "device", DevName(id), "jest", "brak"});
    for (const uint32_t id : onB)
        if (std::find(onA.begin(), onA.end(), id) == onA.end())
            out.push_back({"Urządzenia", 0, "device", DevName(id), "brak", "jest"});

    const int doors = std::max(a.doorCount, b.doorCount);
    for (int i = 0; i < doors; ++i) {
        const std::string place = RecordPlace(a.kind, i);
        const int door = a.kind == 2 ? 0 : i + 1;
        const bool inA = i < a.doorCount;
        const bool inB = i < b.doorCount;
        if (!inA || !inB) {
            out.push_back({place, door, "record", "Przejście", inA ? "jest" : "brak", inB ? "jest" : "brak"});
            continue;
        }
        const SnapRecord& ra = a.records[static_cast<std::size_t>(i)];
        const SnapRecord& rb = b.records[static_cast<std::size_t>(i)];
        if (!ra.read || !rb.read) {
            out.push_back({place, door, "record", "Zapis", ra.read ? "odczytano" : "nie odczytano",
                           rb.read ? "odczytano" : "nie odczytano"});
            continue;
        }
        const std::vector<Difference> lines =
            DiffRecords(a.kind, i, ra.bytes, devsA, a.controllerId, rb.bytes, devsB, b.controllerId);
        out.insert(out.end(), lines.begin(), lines.end());
    }
    return out;
}

std::string DiffText(const std::vector<Difference>& differences, const std::string& indent)
{
    std::size_t wPlace = 0, wLabel = 0, wA = 0;
    for (const Difference& d : differences) {
        wPlace = std::max(wPlace, Utf8Length(d.place));
        wLabel = std::max(wLabel, Utf8Length(d.label));
        wA = std::max(wA, Utf8Length(d.a));
    }
    std::string out;
    for (const Difference& d : differences)
        out += indent + Pad(d.place, wPlace) + "  " + Pad(d.label, wLabel) + "  " + Pad(d.a, wA) + "  " + d.b + "\n";
    return out;
}

Json DiffJson(const std::vector<Difference>& differences)
{
    Json list = Json::array();
    for (const Difference& d : differences) {
        Json entry;
        entry["place"] = d.place;
        entry["door"] = d.door == 0 ? Json() : Json(d.door);
        entry["function"] = d.key;
        entry["label"] = d.label;
        entry["a"] = d.a;
        entry["b"] = d.b;
        list.push_back(std::move(entry));
    }
    return list;
}
