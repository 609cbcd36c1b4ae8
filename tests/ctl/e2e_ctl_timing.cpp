// The timed part of olmctl's end-to-end test, over the QUdpSocket endpoint: a backup of one
// controller and a verified restore of it onto another with the same devices, each timed on the
// wall clock without the search before it. Prints both figures.
// Usage: e2e_ctl_timing SOURCE TARGET SNAPSHOT_FILE KEEP_FILE
#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "ctl/ctl.h"
#include "link/udpdev.h"
#include "net/qudpendpoint.h"
#include "snapshot/snapshot.h"

namespace {

double Ms(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

int Run(const std::string& source, const std::string& target, const std::string& file, const std::string& keep)
{
    std::ostringstream out;
    std::ostringstream err;
    Ctl ctl{out, err, {}};
    ctl.program = "e2e_ctl_timing";
    ctl.options.yes = true;
    ctl.options.keep = keep;
    UdpDevSet set;
    SearchControllers(set);
    UdpDev& from = FindController(set, source);
    UdpDev& to = FindController(set, target);

    const auto t0 = std::chrono::steady_clock::now();
    const Snapshot snap = ReadController(from, ctl);
    std::ofstream(file, std::ios::binary) << EncodeSnapshot(snap);
    const auto t1 = std::chrono::steady_clock::now();
    const int status = RestoreOnto(ctl, to, snap, file);
    const auto t2 = std::chrono::steady_clock::now();

    std::printf("%s", out.str().c_str());
    std::fprintf(stderr, "%s", err.str().c_str());
    std::size_t verified = 0;
    for (std::size_t at = 0; (at = out.str().find("zapisane i sprawdzone", at)) != std::string::npos; ++at) ++verified;
    std::printf("wall time of a backup of %s (%d doors): %.1f ms (target <= 30 ms)\n", source.c_str(), snap.doorCount,
                Ms(t0, t1));
    std::printf("wall time of a verified restore of %zu doors onto %s: %.1f ms (target <= 30 ms)\n", verified,
                target.c_str(), Ms(t1, t2));
    return status == 0 && verified == static_cast<std::size_t>(snap.doorCount) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: e2e_ctl_timing SOURCE TARGET SNAPSHOT_FILE KEEP_FILE\n");
        return 2;
    }
    QUdpEndpoint udp;
    SetEndpoint(&udp);
    int status = 1;
    try {
        status = Run(argv[1], argv[2], argv[3], argv[4]);   // the set closes its sessions as it goes
    } catch (const std::exception& e) {
        std::fprintf(stderr, "e2e_ctl_timing: %s\n", ErrorLine(e).c_str());
    }
    SetEndpoint(nullptr);
    return status;
}
