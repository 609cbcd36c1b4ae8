// Figures for the model's hot paths on the worst-case inventory: 108 devices, each with 31
// outputs, 31 inputs and 3 reader ports, listed in descending order so that the display sort has
// the most to do. Prints microseconds per call (best of several rounds) against the target of
// 50 µs, and each figure's ratio to a baseline measured in the same run: copying the block.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "model/ctrlcfg.h"

namespace {

std::vector<uint8_t> WorstCaseList()
{
    std::vector<uint8_t> b = {108, 0, 0x18, 0, 0, 0};
    for (uint32_t i = 0; i < 108; ++i) {
        // The controller reports itself first; the modules follow with falling serial numbers.
        const uint32_t id = (3u << 28) | ((i == 0 ? 305u : 702u) << 16) | (i == 0 ? 1u : 1000u - i);
        for (int k = 0; k < 4; ++k) b.push_back(static_cast<uint8_t>(id >> (8 * k)));
        b.insert(b.end(), {1, 0, 31, 31, 31, 3, 0, 0});
    }
    return b;
}

volatile uint64_t sink;

// Microseconds per call: the best of 7 rounds of `calls` calls.
double Measure(int calls, const std::function<uint64_t()>& body)
{
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        uint64_t acc = 0;
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i) acc += body();
        const auto stop = std::chrono::steady_clock::now();
        sink = acc;
        best = std::min(best, std::chrono::duration<double, std::micro>(stop - start).count() / calls);
    }
    return best;
}

}  // namespace

int main()
{
    const std::vector<uint8_t> list = WorstCaseList();
    BusDevSet devs;
    DoorConfig doors(devs);

    const double baseline = Measure(20000, [&] {
        std::vector<uint8_t> copy = list;
        return static_cast<uint64_t>(copy[copy.size() / 2]);
    });

    struct Row {
        const char* what;
        double us;
    };
    std::vector<Row> rows;
    rows.push_back({"Decode (108 devices)", Measure(2000, [&] {
                        devs.Decode(list);
                        return static_cast<uint64_t>(devs.order[1]);
                    })});

    devs.Decode(list);
    ResList out;
    const struct {
        const char* what;
        ResKind kind;
    } kinds[] = {{"FreeList Output", ResKind::Output},
                 {"FreeList Input", ResKind::Input},
                 {"FreeList Reader", ResKind::Reader},
                 {"FreeList OutputSet", ResKind::OutputSet}};
    for (const auto& k : kinds) {
        rows.push_back({k.what, Measure(5000, [&] { return static_cast<uint64_t>(devs.FreeList(k.kind, out)); })});
    }

    // Eight doors with every slot assigned to a distinct resource.
    for (int d = 0; d < kMaxDoors; ++d) {
        for (int s = 0; s < kDoorOutputs; ++s) doors.AssignOutput(d, s, MakeRes(1 + d, s), false);
        for (int s = 0; s < kDoorInputs; ++s) doors.AssignInput(d, s, MakeRes(1 + d, s), false);
        for (int s = 0; s < kReaderSlots; ++s) doors.AssignReader(d, s, MakeRes(20 + d * 4 + s, 0));
    }
    rows.push_back({"RebuildMaps (8 doors)", Measure(20000, [&] {
                        devs.ClearMaps();
                        doors.RebuildMaps();
                        return static_cast<uint64_t>(devs.records[1].usedOut);
                    })});

    std::printf("%-24s %10s %8s %10s\n", "operation", "us/call", "target", "x baseline");
    std::printf("%-24s %10.3f %8s %10s\n", "baseline: copy the block", baseline, "", "1.0");
    for (const Row& r : rows) {
        std::printf("%-24s %10.3f %8s %10.1f\n", r.what, r.us, r.us <= 50.0 ? "<= 50" : "> 50!", r.us / baseline);
    }
    return 0;
}
