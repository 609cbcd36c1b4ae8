// Putting a snapshot onto another controller's bus: by device identifier, with --map, and every
// problem that refuses it.
#include <string>

#include "fixture.h"
#include "snapshot/diff.h"
#include "snapshot/mapping.h"
#include "snapshot/view.h"

namespace {

const uint32_t kReplacement = MakeId(305, 1777);   // a controller of the same type

// The eight-door sample's devices with the controller replaced, in another slot order: the
// controller third, the others reversed.
std::vector<DevSpec> Reordered(std::vector<DevSpec> devices)
{
    devices[0].id = kReplacement;
    const DevSpec controller = devices[0];
    devices.erase(devices.begin());
    std::reverse(devices.begin(), devices.end());
    devices.insert(devices.begin() + 2, controller);
    return devices;
}

bool Mentions(const std::vector<std::string>& lines, const std::string& text)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
}

std::string All(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return text;
}

TEST(Mapping, FindsEveryDeviceByIdentifierOnAReorderedBus)
{
    const Snapshot snap = SnapOf(Sample(0x18));
    const Snapshot target = EmptyController(kReplacement, Reordered(DevicesOf(Sample(0x18).deviceList)), 8);
    const RestorePlan plan = MapSnapshot(snap, target, {}, {});
    ASSERT_TRUE(plan.problems.empty()) << All(plan.problems);
    EXPECT_EQ(plan.indexes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));

    BusDevSet from;
    BusDevSet to;
    ASSERT_TRUE(SnapshotDevices(snap, from));
    ASSERT_TRUE(SnapshotDevices(target, to));
    for (int i = 0; i < 8; ++i) {
        const RecordBytes& before = snap.records[static_cast<std::size_t>(i)].bytes;
        const RecordBytes& after = plan.records[static_cast<std::size_t>(i)];
        // Every function names the same resource of the same device (the controller's as the
        // controller's), NC flags included; nothing past the resource slots changed.
        const auto a = RecordFields(1, before, from, snap.controllerId, OwnNames::AsController);
        const auto b = RecordFields(1, after, to, target.controllerId, OwnNames::AsController);
        for (std::size_t f = 0; f < a.size(); ++f) EXPECT_EQ(a[f].text, b[f].text) << "door " << i + 1 << " " << a[f].key;
        EXPECT_TRUE(std::equal(before.begin() + kParamsAt, before.end(), after.begin() + kParamsAt));
    }
    // Door 1's lock was output 0 of the controller in slot 0; the controller is now in slot 2.
    EXPECT_EQ(RecordSlot(plan.records[0], kOutputsAt, kDoorOutputs, 0), 0x0200);
    // Door 2's alarm keeps its NC flag.
    EXPECT_EQ(RecordSlot(plan.records[1], kOutputsAt, kDoorOutputs, 2), 0x0285);

    // Restored, the two compare equal.
    Snapshot restored = target;
    for (int i = 0; i < 8; ++i) restored.records[static_cast<std::size_t>(i)] = {true, plan.records[static_cast<std::size_t>(i)]};
    EXPECT_TRUE(Diff(snap, restored).empty());
}

TEST(Mapping, MapsAReplacedDeviceOntoItsSuccessor)
{
    const SampleController& c = Sample(0x18);
    std::vector<DevSpec> devices = DevicesOf(c.deviceList);
    const std::size_t old = SlotNamed(devices, MakeId(7, 405));
    devices[old].id = MakeId(7, 421);   // the inactive reader was swapped for another
    devices[old].status = 0;
    const Snapshot target = EmptyController(c.id, devices, 8);

    const RestorePlan refused = MapSnapshot(SnapOf(c), target, {}, {});
    ASSERT_EQ(refused.problems.size(), 1u) << All(refused.problems);
    EXPECT_EQ(refused.problems[0],
              "Przejście 1, Czytnik 2 (R107_00405:Rd1): urządzenia R107_00405 nie ma na magistrali K105_01502");

    const RestorePlan plan = MapSnapshot(SnapOf(c), target, {{"R107_00405", "R107_00421"}}, {});
    ASSERT_TRUE(plan.problems.empty()) << All(plan.problems);
    EXPECT_EQ(RecordSlot(plan.records[0], kReadersAt, kReaderSlots, 1), MakeRes(static_cast<int>(old), 0));
}

TEST(Mapping, RestoresOnlyTheChosenDoorsThatTheSnapshotHolds)
{
    SampleController c = Sample(0x18);
    c.blocks[5][0] = 9;   // door 6 came back with another header: not held
    const Snapshot snap = SnapOf(c);
    const Snapshot target = SnapOf(Sample(0x18));

    const RestorePlan all = MapSnapshot(snap, target, {}, {});
    EXPECT_TRUE(all.problems.empty());
    EXPECT_EQ(all.indexes, (std::vector<int>{0, 1, 2, 3, 4, 6, 7}));
    EXPECT_EQ(all.skipped, (std::vector<std::string>{"Przejście 6"}));

    const RestorePlan some = MapSnapshot(snap, target, {}, {3, 1, 3});
    EXPECT_TRUE(some.problems.empty());
    EXPECT_EQ(some.indexes, (std::vector<int>{0, 2}));

    const RestorePlan unread = MapSnapshot(snap, target, {}, {6});
    EXPECT_EQ(unread.problems, (std::vector<std::string>{"przejście 6: kopia go nie zawiera (nie zostało odczytane)"}));
}

TEST(Mapping, ListsEveryProblemAndRefusesTheWhole)
{
    const SampleController& c = Sample(0x18);
    const Snapshot snap = SnapOf(c);
    const std::vector<DevSpec> devices = DevicesOf(c.deviceList);
    const auto changed = [&](const std::function<void(std::vector<DevSpec>&)>& change, uint8_t doors = 8) {
        std::vector<DevSpec> s = devices;
        change(s);
        return EmptyController(s[0].id, s, doors);
    };
    const auto unchanged = [](std::vector<DevSpec>&) {};
    const struct {
        const char* what;
        Snapshot target;
        std::vector<DeviceMap> maps;
        std::vector<int> doors;
        std::vector<std::string> expected;   // each must be mentioned
        std::size_t count;
    } cases[] = {
        {"lift", SnapOf(Sample(0x21)), {}, {}, {"rodzaj się nie zgadza: kopia dotyczy przejść, a K110_00077 to kontroler windy"}, 1},
        {"fewer doors", changed(unchanged, 4), {}, {}, {"K105_01502 ma 4 przejścia, a kopia 8 przejść"}, 1},
        {"door beyond the target", changed(unchanged, 4), {}, {5}, {"przejście 5: K105_01502 ma tylko 4 przejścia"}, 1},
        {"controller type", changed([](auto& s) { s[0].id = MakeId(306, 1502); }), {}, {},
         {"kontroler K106_01502 ma typ 306, a kontroler z kopii K105_01502 typ 305"}, 1},
        {"too few outputs and inputs",
         changed([](auto& s) {
             s[6].outDesc = 1;   // D102_00031: one output, four inputs
             s[6].inCount = 4;
         }),
         {}, {},
         {"Przejście 4, Tamper 1 (D102_00031:In8): D102_00031 ma 4 wejścia, więc nie ma In8",
          "Przejście 5, Rygiel (D102_00031:Out2): D102_00031 ma 1 wyjście, więc nie ma Out2"},
         2},
        {"reader port", changed([](auto& s) { s[3].rdCount = 0; }), {}, {},
         {"Przejście 3, Czytnik 1 (R107_00403:Rd1): R107_00403 ma 0 portów czytników, więc nie ma Rd1"}, 1},
        {"missing devices", changed([](auto& s) { s.erase(s.begin() + 6, s.begin() + 8); }), {}, {},
         {"Przejście 3, Rygiel (Z103_00077:Out1): urządzenia Z103_00077 nie ma na magistrali K105_01502",
          "Przejście 4, Tamper 1 (D102_00031:In8): urządzenia D102_00031"},
         6},
        {"map: old unknown", changed(unchanged), {{"R107_09999", "R107_00420"}}, {},
         {"--map R107_09999=R107_00420: w kopii nie ma urządzenia R107_09999"}, 1},
        {"map: new unknown", changed(unchanged), {{"R107_00405", "R107_09999"}}, {},
         {"--map R107_00405=R107_09999: na magistrali K105_01502 nie ma urządzenia R107_09999"}, 1},
        {"map: other type", changed(unchanged), {{"R107_00405", "K112_00066"}}, {},
         {"--map R107_00405=K112_00066: urządzenia mają różne typy (7 i 512)"}, 1},
        {"map: the controller", changed(unchanged), {{"K105_01502", "K105_01502"}}, {}, {"to sam kontroler z kopii"}, 1},
        {"map: two resources become one", changed(unchanged), {{"R107_00405", "R107_00401"}}, {},
         {"Przejście 1, Czytnik 2 (R107_00405:Rd1): zasób R107_00401:Rd1 przypadłby dwóm różnym zasobom kopii"}, 1},
    };
    for (const auto& c : cases) {
        const RestorePlan plan = MapSnapshot(snap, c.target, c.maps, c.doors);
        EXPECT_EQ(plan.problems.size(), c.count) << c.what << ":\n" << All(plan.problems);
        for (const std::string& e : c.expected) EXPECT_TRUE(Mentions(plan.problems, e)) << c.what << ": " << e << "\n" << All(plan.problems);
    }
}

TEST(Mapping, AResourceOnAnEmptySlotOfTheSnapshotIsAProblem)
{
    SampleController c = Sample(0x14);
    SetBlockSlot(c.blocks[1], 2, 0x1400);   // door 2's alarm on slot 20, where the list has nothing
    const RestorePlan plan = MapSnapshot(SnapOf(c), SnapOf(Sample(0x14)), {}, {});
    EXPECT_EQ(plan.problems,
              (std::vector<std::string>{"Przejście 2, Alarm (?20:Out1): wskazuje pozycję 20 listy urządzeń, na której nie ma urządzenia"}));
}

TEST(Mapping, TheLiftMapsItsOutputSets)
{
    const SampleController& c = Sample(0x21);
    std::vector<DevSpec> devices = DevicesOf(c.deviceList);
    std::swap(devices[1], devices[2]);
    devices.push_back(devices[1]);
    devices[1].id = kAbsentId;   // an absent slot in between
    devices[0].id = MakeId(310, 78);
    const Snapshot target = EmptyController(devices[0].id, devices, 1, 2);
    const RestorePlan plan = MapSnapshot(SnapOf(c), target, {}, {});
    ASSERT_TRUE(plan.problems.empty()) << All(plan.problems);
    EXPECT_EQ(RecordSlot(plan.records[0], kOutputsAt, kLiftSets, 2), 0x0202);   // D105_00031, set 3, now slot 2
    EXPECT_EQ(RecordSlot(plan.records[0], kOutputsAt, kLiftSets, 3), 0x0400);   // D105_00032, set 1, now slot 4
    EXPECT_EQ(MapSnapshot(SnapOf(c), target, {}, {1}).problems,
              (std::vector<std::string>{"--doors dotyczy tylko kontrolerów przejść, a kopia dotyczy windy"}));
}

} // namespace
