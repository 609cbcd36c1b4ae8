// CPU time of selecting an 8-door controller with 108 bus devices (from the click to the filled
// page, on the simulated LAN, whose waits cost no time) and of one poll tick that finds no change,
// and the resident memory after that selection. The model's own reading of the same controller,
// without the window, is measured in the same run as the baseline.
//
//   bench_app [selections]      (default 30; offscreen is used when no GUI platform is set)
#include <ctime>

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "app/wmain.h"
#include "bench/app/window_bench.h"
#include "link/endpoint.h"
#include "sim/blocks.h"
#include "sim/simlan.h"

namespace {

long RssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    SimLan lan;
    const uint32_t id = MakeId(305, 1502);
    AddLargestController(lan, id);
    QuietSeams seams;
    TMainWin win(lan, seams);   // its start-up already selects the controller once
    win.UDPTimer->stop();
    win.show();
    QApplication::processEvents();

    // The selection, as a click on the controller's line runs it.
    std::vector<double> select;
    for (int i = 0; i < runs; ++i) {
        {
            const QSignalBlocker block(win.EthLstBox);
            win.EthLstBox->setCurrentRow(0);
        }
        const double t0 = CpuMs();
        win.EthLstBoxClick();
        select.push_back(CpuMs() - t0);
        QApplication::processEvents();   // painting is not part of the figure
    }
    const long rss = RssKb();

    // The same reading by the model alone.
    std::vector<double> model;
    for (int i = 0; i < runs; ++i) {
        UdpDev& c = win.udpDevs[0];
        const double t0 = CpuMs();
        win.busDevs.Clear();
        win.busDevs.Load(c);
        win.doorConfig.Load(c);
        model.push_back(CpuMs() - t0);
    }
    win.EthLstBoxClick();

    // Poll ticks that find no change: the poll and the quiet read of the device list.
    std::vector<double> tick;
    for (int i = 0; i < 200; ++i) {
        const double t0 = CpuMs();
        win.UDPTimerTimer();
        tick.push_back(CpuMs() - t0);
    }

    const double sel = Median(select), base = Median(model), tk = Median(tick);
    std::printf("selection of an 8-door controller, 108 devices: %8.3f ms CPU (median of %d; target <= 30 ms)\n",
                sel, runs);
    std::printf("  baseline, the model's reading alone:          %8.3f ms CPU (window / model = %.1f)\n", base,
                base > 0 ? sel / base : 0.0);
    std::printf("poll tick that finds no change:                  %8.3f ms CPU (median of 200; target <= 1 ms)\n", tk);
    std::printf("resident memory after the selection:             %8.1f MB (target <= 80 MB)\n", double(rss) / 1024.0);
    return 0;
}
