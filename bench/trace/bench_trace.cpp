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

#include "app/wmain.h"
#include "bench/app/window_bench.h"
#include "link/endpoint.h"
#include "sim/blocks.h"
#include "sim/simlan.h"
#include "trace/trace.h"

namespace {

// CPU time of this thread, in milliseconds: the trace does all its work on the thread that sends
// and receives, and Qt's helper threads would only add noise to the figure.
double ThreadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
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
        double t0 = ThreadCpuMs();
        win.EthLstBoxClick();
        (traced ? select.traced : select.plain).push_back(ThreadCpuMs() - t0);
        QApplication::processEvents();   // painting is not part of the figure

        UdpDev& c = win.udpDevs[0];
        t0 = ThreadCpuMs();
        win.busDevs.Clear();
        win.busDevs.Load(c);
        win.doorConfig.Load(c);
        (traced ? model.traced : model.plain).push_back(ThreadCpuMs() - t0);
    }
    SetEndpoint(&lan);
    const long lines = LineCount(file);
    std::filesystem::remove(file);

    std::printf("CPU time of the GUI thread, median of %d each, traced and plain in turns, the trace file on %s:\n", runs,
                file.parent_path().string().c_str());
    Row("selection of an 8-door controller, 108 devices (click to filled page):", select, " (target <= 10 %)");
    Row("the link's and the model's reading alone (no window):", model, "");
    const double perSelection = double(lines) / (2.0 * runs);
    std::printf("trace lines: %.1f per selection (%ld for %d selections and %d readings), each appended and flushed\n",
                perSelection, lines, runs, runs);
    std::printf("the trace costs %.1f us per line (one write to the file each, and the CRC or code check)\n",
                (Median(select.traced) - Median(select.plain)) * 1000.0 / perSelection);
    return 0;
}
