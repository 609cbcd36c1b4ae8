// Wall time of a search over real UDP, beside its floor: the waits that the search itself makes.
// A search that finds its controllers in the first pass waits 200 ms after the last reply; a
// sweep of target ranges first takes its schedule (a burst of 16 addresses every 10 ms, so 150 ms
// for a /24). Target: each within 100 ms of its floor. Run inside the namespaces that
// bench_discovery.sh makes:
//   bench_discovery --expect N [--runs R] [--target RANGE]...
#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/udpdev.h"
#include "net/qudpendpoint.h"
#include "trace/options.h"

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv, argv + argc);
    int expected = -1;
    int runs = 10;
    NetOptions options;
    for (std::size_t i = 1; i < args.size(); ++i) {
        try {
            if (TakeNetOption(args, i, options)) continue;
        } catch (const UsageError& e) {
            std::fprintf(stderr, "bench_discovery: %s\n", e.what());
            return 2;
        }
        if (args[i] == "--expect" && i + 1 < args.size()) {
            expected = std::atoi(args[++i].c_str());
        } else if (args[i] == "--runs" && i + 1 < args.size()) {
            runs = std::max(1, std::atoi(args[++i].c_str()));
        } else {
            std::fprintf(stderr, "usage: bench_discovery --expect N [--runs R] [--target RANGE]...\n");
            return 2;
        }
    }

    QUdpEndpoint udp;
    SetEndpoint(&udp);
    const std::size_t hosts = TargetHosts(options.targets).size();
    const std::size_t bursts = (hosts + UdpDevSet::kSweepBurst - 1) / UdpDevSet::kSweepBurst;
    const double floorMs = kReceiveTimeoutMs + (bursts > 0 ? double(bursts - 1) * UdpDevSet::kSweepTickMs : 0.0);

    std::vector<double> wall;
    int wrong = 0;
    for (int run = 0; run <= runs; ++run) {   // run 0 warms up the neighbour tables
        UdpDevSet devs;
        devs.targets = options.targets;
        const auto t0 = std::chrono::steady_clock::now();
        devs.Search();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        if (devs.count != expected) ++wrong;
        if (run > 0) wall.push_back(ms);
    }
    SetEndpoint(nullptr);

    const double median = Median(wall);
    std::string what = "search finding " + std::to_string(expected) + " controller(s)";
    if (hosts > 0) what += ", sweeping " + std::to_string(hosts) + " target addresses";
    std::printf("%-62s %7.1f ms wall (median of %d, %.1f-%.1f)\n", what.c_str(), median, runs,
                *std::min_element(wall.begin(), wall.end()), *std::max_element(wall.begin(), wall.end()));
    std::printf("  floor, the search's own waits:                               %7.1f ms   above it: %+.1f ms "
                "(target <= 100 ms)\n",
                floorMs, median - floorMs);
    if (wrong > 0) std::printf("  WARNING: %d of %d searches found another number of controllers\n", wrong, runs + 1);
    return wrong == 0 ? 0 : 1;
}
