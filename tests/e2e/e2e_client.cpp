// The client side of the end-to-end test: the link over the QUdpSocket endpoint, in its own
// network namespace, against olmsim serving the sample set. Usage: e2e_client OLMSIM_ADDRESS
#include <QCoreApplication>
#include <QHostAddress>
#include <algorithm>
#include <cstdio>
#include <string>

#include "link/devid.h"
#include "link/udpdev.h"
#include "net/qudpendpoint.h"
#include "sim/blocks.h"
#include "sim/samples.h"

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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QHostAddress simAddress;
    if (argc != 2 || !simAddress.setAddress(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "usage: e2e_client OLMSIM_ADDRESS\n");
        return 2;
    }
    QUdpEndpoint udp;
    SetEndpoint(&udp);
    try {
        Run(simAddress.toIPv4Address());   // the set closes its sessions as it goes
    } catch (const UErr& e) {
        Check(false, "link error: " + e.Text());
    } catch (const std::exception& e) {
        Check(false, std::string("error: ") + e.what());
    }
    SetEndpoint(nullptr);
    return failures == 0 ? 0 : 1;
}
