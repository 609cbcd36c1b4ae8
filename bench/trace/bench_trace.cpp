// CPU time that the trace adds to a selection on the simulated LAN (whose waits cost no time):
// selecting an 8-door controller with 108 bus devices, from the click to the filled page, without
// a trace and with every datagram traced to a file (one JSON line each, flushed). The reading by
// the link and the model alone, without the window, is measured the same way: there the trace's
// share is largest. Target: the trace adds at most 10 % to the selection.
//
//   bench_trace [selections]      (default 101 of each; offscreen is used when no GUI platform is set)
#include <ctime>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/seams.h"
#include "app/wmain.h"
#include "link/endpoint.h"
#include "sim/blocks.h"
#include "sim/simlan.h"
#include "trace/trace.h"

namespace {

constexpr int kDevices = 108;

class QuietSeams : public AppSeams {
public:
    void ShowError(QWidget*, const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    int ExecModal(QDialog&) override { return QDialog::Rejected; }
    std::optional<QString> SaveFileName(QWidget*, const QString&) override { return std::nullopt; }
    void OpenUrl(const QUrl&) override {}
    QDateTime Now() override { return QDateTime::currentDateTime(); }
};

double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The largest bus: the controller and 107 devices; eight doors with locks, sensors, exit buttons
// and readers bound.
void AddLargestController(SimLan& lan, uint32_t id)
{
    ControllerPeer& peer = lan.AddPeer(0xC0A80116u, id, 2);
    std::vector<DevSpec> devices;
    for (uint32_t i = 0; i < kDevices; ++i)
        devices.push_back(i == 0 ? DevSpec{id, 1, 0, 4, 8, 16, 2} : DevSpec{MakeId(712, i), 1, 0, 31, 31, 31, 3});
    peer.deviceList = DeviceListBlock(1, 8, devices);
    for (int door = 0; door < 8; ++door) {
        std::vector<uint8_t> block = EmptyDoorBlock();
        const auto dev = static_cast<uint16_t>((door + 1) << 8);
        SetBlockSlot(block, 0, dev);
        SetBlockSlot(block, 7, dev);
        SetBlockSlot(block, 6, static_cast<uint16_t>(dev | 1));
        SetBlockSlot(block, 16, dev);
        SetBlockName(block, "Drzwi " + std::to_string(door + 1));
        peer.blocks[static_cast<std::size_t>(door)] = block;
    }
}

struct Samples {
    std::vector<double> plain, traced;
};

long LineCount(const std::filesystem::path& file)
{
    std::ifstream in(file);
    return static_cast<long>(std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

void Row(const char* what, const Samples& s, const char* target)
{
    const double plain = Median(s.plain), traced = Median(s.traced);
    std::printf("%s\n", what);
    std::printf("  without trace:   %8.3f ms CPU\n", plain);
    std::printf("  with trace:      %8.3f ms CPU   the trace adds %+.1f %%%s\n", traced,
                plain > 0 ? (traced / plain - 1.0) * 100.0 : 0.0, target);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 101;
    const uint32_t id = MakeId(305, 1502);
    const auto file = std::filesystem::temp_directory_path() / ("olm-bench-trace-" + std::to_string(::getpid()) + ".jsonl");

    // One window on one simulated LAN; the link reaches it directly or through the trace, in
    // turns, selection by selection, so that a noisy moment on a shared machine falls on both.
    SimLan lan;
    AddLargestController(lan, id);
    std::filesystem::remove(file);
    TraceEndpoint trace(lan, file, "bench_trace");
    QuietSeams seams;
    TMainWin win(lan, seams);   // its start-up selects the controller once
    win.UDPTimer->stop();
    win.show();
    QApplication::processEvents();

    Samples select, model;
    for (int i = 0; i < 2 * runs; ++i) {
        const bool traced = (i % 4 == 1) || (i % 4 == 2);   // plain, traced, traced, plain, ...
        SetEndpoint(traced ? static_cast<Endpoint*>(&trace) : &lan);
        {
            const QSignalBlocker block(win.EthLstBox);
            win.EthLstBox->setCurrentRow(0);
        }
        double t0 = CpuMs();
        win.EthLstBoxClick();
        (traced ? select.traced : select.plain).push_back(CpuMs() - t0);
        QApplication::processEvents();   // painting is not part of the figure

        UdpDev& c = win.udpDevs[0];
        t0 = CpuMs();
        win.busDevs.Clear();
        win.busDevs.Load(c);
        win.doorConfig.Load(c);
        (traced ? model.traced : model.plain).push_back(CpuMs() - t0);
    }
    SetEndpoint(&lan);
    const long lines = LineCount(file);
    std::filesystem::remove(file);

    std::printf("median of %d each, traced and plain in turns, the trace file on %s:\n", runs,
                file.parent_path().string().c_str());
    Row("selection of an 8-door controller, 108 devices (click to filled page):", select, " (target <= 10 %)");
    Row("the link's and the model's reading alone (no window):", model, "");
    std::printf("trace lines: %.1f per selection (%ld for %d selections and %d readings), each appended and flushed\n",
                double(lines) / (2.0 * runs), lines, runs, runs);
    return 0;
}
