#include "snapshot/mapping.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "link/devid.h"
#include "snapshot/text.h"
#include "snapshot/view.h"

namespace {

struct SlotGroup {
    std::size_t at;
    int count;
    ResKind kind;
};

// The resource slots of a record, by kind.
std::vector<SlotGroup> Groups(int kind)
{
    if (kind == 2)
        return {{kOutputsAt, kLiftSets, ResKind::OutputSet},
                {kLiftInputsAt, kLiftInputs, ResKind::Input},
                {kReadersAt, kReaderSlots, ResKind::Reader}};
    return {{kOutputsAt, kDoorOutputs, ResKind::Output},
            {kDoorInputsAt, kDoorInputs, ResKind::Input},
            {kReadersAt, kReaderSlots, ResKind::Reader}};
}

// "2 wyjścia", "5 wejść", "1 port czytnika"...
std::string Resources(int n, ResKind kind)
{
    switch (kind) {
    case ResKind::Output: return ::Counted(n, "wyjście", "wyjścia", "wyjść");
    case ResKind::Input: return ::Counted(n, "wejście", "wejścia", "wejść");
    case ResKind::Reader: return ::Counted(n, "port czytnika", "porty czytników", "portów czytników");
    case ResKind::OutputSet: return ::Counted(n, "zestaw wyjść", "zestawy wyjść", "zestawów wyjść");
    }
    return std::to_string(n);
}

std::string Doors(int n) { return ::Counted(n, "przejście", "przejścia", "przejść"); }

// The slot of the first present device with this identifier, or -1.
int SlotOf(const BusDevSet& devs, uint32_t id)
{
    for (int i = 0; i < devs.recordCount; ++i)
        if (devs.records[static_cast<std::size_t>(i)].id == id && !IsAbsentId(id)) return i;
    return -1;
}

// The first present device with this name, or nullopt.
std::optional<uint32_t> IdNamed(const BusDevSet& devs, const std::string& name)
{
    for (int i = 0; i < devs.recordCount; ++i) {
        const uint32_t id = devs.records[static_cast<std::size_t>(i)].id;
        if (!IsAbsentId(id) && DevName(id) == name) return id;
    }
    return std::nullopt;
}

} // namespace

RestorePlan MapSnapshot(const Snapshot& snap, const Snapshot& target, const std::vector<DeviceMap>& maps,
                        const std::vector<int>& doors)
{
    RestorePlan plan;
    auto problem = [&plan](const std::string& text) { plan.problems.push_back(text); };

    BusDevSet from;
    BusDevSet to;
    if (!SnapshotDevices(snap, from)) problem("lista urządzeń kopii jest nieprawidłowa");
    if (!SnapshotDevices(target, to)) problem("lista urządzeń kontrolera docelowego jest nieprawidłowa");
    if (!plan.problems.empty()) return plan;

    const std::string targetName = DevName(target.controllerId);
    if (snap.kind != target.kind) {
        problem("rodzaj się nie zgadza: kopia dotyczy " + std::string(snap.kind == 2 ? "windy" : "przejść") + ", a " +
                targetName + " to kontroler " + (target.kind == 2 ? "windy" : "przejść"));
        return plan;
    }
    if (TypeCode(snap.controllerId) != TypeCode(target.controllerId))
        problem("kontroler " + targetName + " ma typ " + std::to_string(TypeCode(target.controllerId)) +
                ", a kontroler z kopii " + DevName(snap.controllerId) + " typ " +
                std::to_string(TypeCode(snap.controllerId)));

    // Which records: the listed doors, or every door the snapshot holds.
    if (doors.empty()) {
        if (target.doorCount < snap.doorCount)
            problem(targetName + " ma " + Doors(target.doorCount) + ", a kopia " + Doors(snap.doorCount));
        for (int i = 0; i < snap.doorCount; ++i) {
            if (snap.records[static_cast<std::size_t>(i)].read) plan.indexes.push_back(i);
            else plan.skipped.push_back(RecordPlace(snap.kind, i));
        }
    } else {
        if (snap.kind == 2) problem("--doors dotyczy tylko kontrolerów przejść, a kopia dotyczy windy");
        std::set<int> chosen(doors.begin(), doors.end());
        for (const int door : chosen) {
            const std::string place = "przejście " + std::to_string(door);
            if (door < 1 || door > snap.doorCount) {
                problem(place + ": kopia ma tylko " + Doors(snap.doorCount));
            } else if (door > target.doorCount) {
                problem(place + ": " + targetName + " ma tylko " + Doors(target.doorCount));
            } else if (!snap.records[static_cast<std::size_t>(door - 1)].read) {
                problem(place + ": kopia go nie zawiera (nie zostało odczytane)");
            } else {
                plan.indexes.push_back(door - 1);
            }
        }
    }

    // Device by device: the target slot of every snapshot device, from --map or by identifier.
    std::map<uint32_t, uint32_t> mapped;   // snapshot device id -> target device id
    for (const DeviceMap& m : maps) {
        const std::optional<uint32_t> old = IdNamed(from, m.from);
        const std::optional<uint32_t> fresh = IdNamed(to, m.to);
        const std::string what = "--map " + m.from + "=" + m.to + ": ";
        if (!old) problem(what + "w kopii nie ma urządzenia " + m.from);
        if (!fresh) problem(what + "na magistrali " + targetName + " nie ma urządzenia " + m.to);
        if (!old || !fresh) continue;
        if (*old == snap.controllerId) {
            problem(what + m.from + " to sam kontroler z kopii; odpowiada mu zawsze kontroler docelowy");
        } else if (TypeCode(*old) != TypeCode(*fresh)) {
            problem(what + "urządzenia mają różne typy (" + std::to_string(TypeCode(*old)) + " i " +
                    std::to_string(TypeCode(*fresh)) + ")");
        } else if (!mapped.emplace(*old, *fresh).second) {
            problem(what + m.from + " odwzorowano więcej niż raz");
        }
    }
    if (SlotOf(to, target.controllerId) < 0)
        problem("kontroler " + targetName + " nie ma siebie na własnej liście urządzeń");

    // Resource by resource.
    std::map<std::pair<int, ResId>, std::pair<uint32_t, int>> taken;   // (kind, target res) -> source device, number
    for (const int index : plan.indexes) {
        const RecordBytes& source = snap.records[static_cast<std::size_t>(index)].bytes;
        RecordBytes& out = plan.records[static_cast<std::size_t>(index)];
        out = source;
        const std::vector<Field> names = RecordFields(snap.kind, source, from, snap.controllerId, OwnNames::DeviceName);
        int fieldAt = 1 + (snap.kind == 2 ? 0 : 1);   // the resources follow the name (and the type)
        for (const SlotGroup& g : Groups(snap.kind)) {
            for (int s = 0; s < g.count; ++s, ++fieldAt) {
                const ResId id = RecordSlot(source, g.at, g.count, s);
                if (id == kNoRes) continue;
                const std::string where = RecordPlace(snap.kind, index) + ", " +
                                          names[static_cast<std::size_t>(fieldAt)].label + " (" +
                                          names[static_cast<std::size_t>(fieldAt)].text + "): ";
                const int slot = ResDevice(id);
                if (slot >= from.recordCount || IsAbsentId(from.records[static_cast<std::size_t>(slot)].id)) {
                    problem(where + "wskazuje pozycję " + std::to_string(slot) + " listy urządzeń, na której nie ma urządzenia");
                    continue;
                }
                const uint32_t sourceId = from.records[static_cast<std::size_t>(slot)].id;
                uint32_t targetId = sourceId;
                if (sourceId == snap.controllerId) targetId = target.controllerId;
                else if (const auto it = mapped.find(sourceId); it != mapped.end()) targetId = it->second;
                const int targetSlot = SlotOf(to, targetId);
                if (targetSlot < 0) {
                    problem(where + "urządzenia " + DevName(targetId) + " nie ma na magistrali " + targetName);
                    continue;
                }
                const BusDev& device = to.records[static_cast<std::size_t>(targetSlot)];
                const int have = ResourceCount(device, g.kind);
                if (ResNumber(id) >= have) {
                    problem(where + DevName(targetId) + " ma " + Resources(have, g.kind) + ", więc nie ma " +
                            BusDevSet::ResourcePrefix(g.kind) + std::to_string(ResNumber(id) + 1));
                    continue;
                }
                const ResId moved = static_cast<ResId>((targetSlot << 8) | (id & 0xFF));
                PutRecordSlot(out, g.at, s, moved);
                // Two different resources of the snapshot must not become one on the target.
                const ResId plain = static_cast<ResId>(moved & ~kNcFlag);
                const std::pair<uint32_t, int> origin(sourceId, ResNumber(id));
                const auto [at, fresh] = taken.emplace(std::make_pair(static_cast<int>(g.kind), plain), origin);
                if (!fresh && at->second != origin)
                    problem(where + "zasób " + ResourceText(plain, g.kind, to, 0, OwnNames::DeviceName) +
                            " przypadłby dwóm różnym zasobom kopii");
            }
        }
    }
    return plan;
}
