// The client side of the end-to-end tests: the link over the QUdpSocket endpoint, in its own
// network namespace.
//   e2e_client OLMSIM_ADDRESS      against olmsim serving the sample set: search, session, signed
//                                  reads
//   e2e_client --expect N [--target RANGE]... [--trace FILE]
//                                  prints the directed broadcast addresses of this namespace's
//                                  cards ("cards: ..."), searches (with the target ranges), prints
//                                  one "found NAME ADDRESS" line per controller, checks that N
//                                  were found, then opens a session with the last one and reads
//                                  its device list signed
#include <QCoreApplication>
#include <QHostAddress>
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <cstdio>
#include <string>

#include "link/devid.h"
#include "link/udpdev.h"
#include "net/qudpendpoint.h"
#include "sim/blocks.h"
#include "sim/samples.h"
#include "trace/options.h"
#include "trace/trace.h"

namespace {

int failures = 0;

void Check(bool ok, const std::string& what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++failures;
}

void Run(uint32_t simIp)
{
    const auto samples = SampleControllers();
    UdpDevSet devs;
    devs.Search();
    Check(devs.count == static_cast<int>(samples.size()), "search finds " + std::to_string(samples.size()) +
                                                               " devices (found " + std::to_string(devs.count) + ")");
    for (int i = 0; i < std::min<int>(devs.count, static_cast<int>(samples.size())); ++i) {
        const SampleController& s = samples[static_cast<std::size_t>(i)];
        Check(devs[i].id == s.id && devs[i].ip == simIp && devs[i].mode == s.status && devs[i].reachable,
              "line " + std::to_string(i) + ":" + devs[i].ListLine());
    }

    // The 8-door controller in "Serwis": a session, a signed read of its devices and of a door.
    const auto eight = std::find_if(samples.begin(), samples.end(), [](const SampleController& s) {
        return s.deviceList.size() > 2 && s.deviceList[2] == 0x18;
    });
    UdpDev* dev = nullptr;
    for (int i = 0; i < devs.count; ++i)
        if (devs[i].id == eight->id) dev = &devs[i];
    Check(dev != nullptr, "the 8-door controller " + DevName(eight->id) + " is listed");
    if (!dev) return;

    Check(dev->PollStatus() && dev->ModeName() == "Serwis", "status poll: " + dev->ModeName());
    dev->EnsureSession();
    Check(dev->hasSession, "session opened");
    Block block{};
    const std::size_t listLength = dev->ReadDevices(block);
    Check(listLength == eight->deviceList.size() &&
              std::equal(eight->deviceList.begin(), eight->deviceList.end(), block.begin()),
          "signed D returns the device list (" + std::to_string(listLength) + " bytes)");
    Check((dev->mode & 0x80) != 0, "the controller reports the session in its status");
    const std::size_t doorLength = dev->ReadBlock(1, 2, block);
    Check(doorLength == kBlockLength && std::equal(eight->blocks[2].begin(), eight->blocks[2].end(), block.begin()),
          "signed C returns door 3 (" + std::to_string(doorLength) + " bytes)");
}

void Discover(QUdpEndpoint& udp, int expected, const std::vector<TargetRange>& targets)
{
    std::string cards = "cards:";
    for (const uint32_t ip : udp.DirectedBroadcasts()) cards += " " + QHostAddress(ip).toString().toStdString();
    std::printf("%s\n", cards.c_str());

    UdpDevSet devs;
    devs.targets = targets;
    devs.Search();
    for (int i = 0; i < devs.count; ++i)
        std::printf("found %s %s\n", DevName(devs[i].id).c_str(), devs[i].IpText().c_str());
    Check(devs.count == expected,
          "search finds " + std::to_string(expected) + " controllers (found " + std::to_string(devs.count) + ")");
    if (devs.count == 0) return;

    UdpDev& dev = devs[devs.count - 1];
    dev.EnsureSession();
    Block block{};
    const std::size_t length = dev.ReadDevices(block);
    Check(dev.hasSession && length > 0, "signed D of " + DevName(dev.id) + " at " + dev.IpText() + " returns " +
                                            std::to_string(length) + " bytes");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::vector<std::string> args(argv, argv + argc);
    QHostAddress simAddress;
    int expected = -1;
    NetOptions options;
    if (argc >= 3 && args[1] == "--expect") {
        expected = std::atoi(argv[2]);
        for (std::size_t i = 3; i < args.size(); ++i) {
            try {
                if (TakeNetOption(args, i, options)) continue;
            } catch (const UsageError& e) {
                std::fprintf(stderr, "e2e_client: %s\n", e.what());
                return 2;
            }
            std::fprintf(stderr, "e2e_client: unexpected %s\n", argv[i]);
            return 2;
        }
    } else if (argc != 2 || !simAddress.setAddress(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "usage: e2e_client OLMSIM_ADDRESS | e2e_client --expect N [--target RANGE]...\n");
        return 2;
    }
    QUdpEndpoint udp;
    std::unique_ptr<TraceEndpoint> trace;
    if (options.trace) trace = std::make_unique<TraceEndpoint>(udp, *options.trace, "e2e_client");
    SetEndpoint(trace ? static_cast<Endpoint*>(trace.get()) : &udp);
    try {
        // The set closes its sessions as it goes.
        if (expected >= 0)
            Discover(udp, expected, options.targets);
        else
            Run(simAddress.toIPv4Address());
    } catch (const UErr& e) {
        Check(false, "link error: " + e.Text());
    } catch (const std::exception& e) {
        Check(false, std::string("error: ") + e.what());
    }
    SetEndpoint(nullptr);
    return failures == 0 ? 0 : 1;
}
