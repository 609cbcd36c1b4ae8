// Figures for olmctl on the simulated LAN, in CPU time of this thread, as medians over many runs,
// for the largest controller (8 doors, 108 devices, every door function assigned):
//   - a backup: the controller read (status, session check, D, C per door), encoded and written
//     to a file; target at most 2 ms;
//   - a verified restore of all 8 doors: the target read, the mapping, the keep file, then 8 c each
//     read back with C and compared; target at most 2 ms.
// Each figure also shows its ratio to a baseline measured in the same run: one status exchange
// with the same controller on the same LAN.
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "ctl/ctl.h"
#include "link/udpdev.h"
#include "sim/blocks.h"
#include "sim/samples.h"
#include "sim/simlan.h"

namespace {

double ThreadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

// Nanoseconds per call: the median of `runs` runs; `prepare` runs before each, outside the time.
double MedianNs(int runs, const std::function<void()>& body, const std::function<void()>& prepare)
{
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        prepare();
        const double start = ThreadCpuNs();
        body();
        times.push_back(ThreadCpuNs() - start);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[static_cast<std::size_t>(runs / 2)];
}

// 108 devices: the controller, 40 readers, 60 input/output modules, 7 locks.
SampleController Largest()
{
    SampleController c{0xC0A80120u, MakeId(305, 4242), 2, {}, {}};
    std::vector<DevSpec> devices{{c.id, 1, 0, 4, 8, 16, 2}};
    for (uint32_t i = 0; i < 40; ++i) devices.push_back({MakeId(7, 1000 + i), 1, 0, 1, 0, 2, 1});
    for (uint32_t i = 0; i < 60; ++i) devices.push_back({MakeId(702, 2000 + i), 2, 0, 8, 0, 8, 0});
    for (uint32_t i = 0; i < 7; ++i) devices.push_back({MakeId(203, 3000 + i), 1, 0, 1, 0, 2, 0});
    c.deviceList = DeviceListBlock(1, 8, devices);
    for (int d = 0; d < 8; ++d) {
        std::vector<uint8_t> block = EmptyDoorBlock();
        const auto module = [d](int k) { return 41 + 6 * d + k; };
        for (int s = 0; s < 6; ++s) SetBlockSlot(block, s, static_cast<uint16_t>((module(s % 3) << 8) | s));
        for (int s = 0; s < 10; ++s) SetBlockSlot(block, 6 + s, static_cast<uint16_t>((module(3 + s % 3) << 8) | s % 8));
        for (int r = 0; r < 4; ++r) SetBlockSlot(block, 16 + r, static_cast<uint16_t>((1 + 4 * d + r) << 8));
        block[kParamOffset + 4] = 10;
        block[kParamOffset + 6] = 30;
        SetBlockName(block, "Przejscie " + std::to_string(d + 1));
        c.blocks[static_cast<std::size_t>(d)] = block;
    }
    return c;
}

} // namespace

int main()
{
    constexpr int kRuns = 201;
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("bench-ctl-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    SimLan lan;
    const SampleController largest = Largest();
    ControllerPeer& peer = AddSampleController(lan, largest);
    SetEndpoint(&lan);
    std::ostringstream out;
    std::ostringstream err;
    Ctl ctl{out, err, {}};
    ctl.program = "bench_ctl";
    ctl.options.yes = true;
    ctl.options.keep = (dir / "keep.json").string();
    const std::string file = (dir / "backup.json").string();

    double baselineNs = 0, backupNs = 0, restoreNs = 0;
    int written = 0;
    {
        UdpDevSet set;
        SearchControllers(set);
        UdpDev& dev = FindController(set, "K105_04242");
        const auto quiet = [&] {
            lan.ClearLog();   // the recordings would otherwise grow through the whole benchmark
            peer.log.clear();
            out.str("");
        };
        baselineNs = MedianNs(kRuns, [&] { dev.PollStatus(); }, quiet);

        Snapshot snap;
        backupNs = MedianNs(
            kRuns,
            [&] {
                snap = ReadController(dev, ctl);
                std::ofstream(file, std::ios::binary) << EncodeSnapshot(snap);
            },
            quiet);

        restoreNs = MedianNs(
            kRuns, [&] { RestoreOnto(ctl, dev, snap, file); },
            [&] {
                quiet();
                for (int d = 0; d < 8; ++d) peer.blocks[static_cast<std::size_t>(d)] = EmptyDoorBlock();   // all 8 differ
            });
        const std::string last = out.str();
        for (std::size_t at = 0; (at = last.find("zapisane i sprawdzone", at)) != std::string::npos; ++at) ++written;
    }
    SetEndpoint(nullptr);
    fs::remove_all(dir);

    std::printf("olmctl figures, largest controller (8 doors, 108 devices), simulated LAN\n");
    std::printf("(CPU time of this thread, median of %d runs)\n\n", kRuns);
    const auto row = [&](const char* what, double ns) {
        std::printf("%-48s %8.3f ms  %7.1f x a status exchange   %s\n", what, ns / 1e6, ns / baselineNs,
                    ns <= 2e6 ? "target <= 2 ms: met" : "target <= 2 ms: MISSED");
    };
    row("backup (read, encode, write the file)", backupNs);
    row("verified restore of 8 doors (keep file included)", restoreNs);
    std::printf("\nBaseline: one status exchange %.1f us; doors written and verified in the last restore: %d\n",
                baselineNs / 1e3, written);
    return written == 8 ? 0 : 1;
}
