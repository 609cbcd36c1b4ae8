// Fill time of the door and lift pages on the largest bus (108 devices of 31 outputs, 31 inputs and
// 3 readers; for the lift, 3 output sets instead of the outputs), against a naive fill that adds
// every entry with QComboBox::addItem, measured in the same run.
//
//   bench_editors [fills]      (default 200; needs a GUI platform, offscreen is used when none is set)
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "editors/editors.h"
#include "editors/pickers.h"
#include "model/ctrlcfg.h"
#include "sim/blocks.h"

namespace {

constexpr int kDevices = 108;

std::vector<uint8_t> WorstCaseList(bool lift)
{
    std::vector<DevSpec> devices;
    for (uint32_t i = 0; i < kDevices; ++i) {
        DevSpec d{MakeId(i == 0 ? 305u : 712u, i + 1), 1, 0, 31, 31, 31, 3};
        if (lift) d.outDesc = 0x83, d.ocCount = 0;
        devices.push_back(d);
    }
    return DeviceListBlock(lift ? 2 : 1, lift ? 1 : 8, devices);
}

// A few functions bound, so that pickers also show a current entry.
void AssignSome(DoorConfig& doors, LiftConfig& lift, bool isLift)
{
    if (isLift) {
        lift.AssignSet(0, MakeRes(5, 1));
        lift.AssignInput(3, MakeRes(7, 2), true);
        lift.AssignReader(0, MakeRes(9, 0));
        return;
    }
    doors.AssignOutput(0, 0, MakeRes(3, 1), false);
    doors.AssignInput(0, 1, MakeRes(3, 2), true);
    doors.AssignReader(0, 0, MakeRes(4, 0));
}

// The way a picker is filled without a shared model: one addItem per entry.
void NaiveFill(QComboBox* c, const BusDevSet& devs, ResKind kind, ResId current, const ResList& free, int device = -1)
{
    auto text = [&](ResId id) {
        static constexpr std::array<const char*, 3> kPrefix{"Out", "In", "Rd"};
        return AnsiToQString(kind == ResKind::OutputSet ? devs.OutSetName(id)
                                                        : devs.ResName(id, kPrefix[static_cast<std::size_t>(kind)]));
    };
    c->clear();
    if (current != kNoRes) c->addItem(text(current), uint(current));
    c->addItem(QStringLiteral("  -----"), uint(kNoRes));
    for (int i = 0; i < free.count; ++i)
        if (device < 0 || ResDevice(free[i]) == device) c->addItem(text(free[i]), uint(free[i]));
    c->setCurrentIndex(0);
}

struct NaivePage {
    explicit NaivePage(int pickers)
    {
        for (int i = 0; i < pickers; ++i) {
            auto* c = new QComboBox(&widget);
            c->setGeometry(8 + (i % 4) * 120, 8 + (i / 4) * 30, 113, 22);
            combos.push_back(c);
        }
        widget.resize(500, 300);
        widget.show();
    }
    QWidget widget;
    std::vector<QComboBox*> combos;
};

void NaiveDoorFill(NaivePage& page, const BusDevSet& devs, const DoorCfg& door)
{
    ResList free;
    devs.FreeList(ResKind::Output, free);
    for (int s = 0; s < 6; ++s) NaiveFill(page.combos[static_cast<std::size_t>(s)], devs, ResKind::Output, door.Output(s), free);
    devs.FreeList(ResKind::Input, free);
    const ResId lock = door.Output(0);
    NaiveFill(page.combos[6 + 1], devs, ResKind::Input, door.Input(1), lock == kNoRes ? ResList{} : free,
              lock == kNoRes ? -1 : ResDevice(lock));
    for (int s = 0; s < 10; ++s)
        if (s != 1) NaiveFill(page.combos[6 + static_cast<std::size_t>(s)], devs, ResKind::Input, door.Input(s), free);
    devs.FreeList(ResKind::Reader, free);
    for (int s = 0; s < 4; ++s) NaiveFill(page.combos[16 + static_cast<std::size_t>(s)], devs, ResKind::Reader, door.Reader(s), free);
}

void NaiveLiftFill(NaivePage& page, const BusDevSet& devs, const LiftCfg& lift)
{
    ResList free;
    devs.FreeList(ResKind::OutputSet, free);
    for (int s = 0; s < 8; ++s) NaiveFill(page.combos[static_cast<std::size_t>(s)], devs, ResKind::OutputSet, lift.OutputSet(s), free);
    devs.FreeList(ResKind::Input, free);
    for (int s = 3; s < 8; ++s) NaiveFill(page.combos[8 + static_cast<std::size_t>(s - 3)], devs, ResKind::Input, lift.Input(s), free);
    devs.FreeList(ResKind::Reader, free);
    for (int s = 0; s < 4; ++s) NaiveFill(page.combos[13 + static_cast<std::size_t>(s)], devs, ResKind::Reader, lift.Reader(s), free);
}

struct Figures {
    double fill;          // the fill call alone, ms
    double withEvents;    // the fill and the events it leaves (repaints, deferred layouts), ms
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

Figures Measure(int fills, const std::function<void()>& fill)
{
    std::vector<double> bare;
    std::vector<double> full;
    QElapsedTimer t;
    for (int i = 0; i < fills; ++i) {
        t.start();
        fill();
        const qint64 filled = t.nsecsElapsed();
        QCoreApplication::processEvents();
        const qint64 settled = t.nsecsElapsed();
        bare.push_back(static_cast<double>(filled) / 1e6);
        full.push_back(static_cast<double>(settled) / 1e6);
    }
    return {Median(bare), Median(full)};
}

void Report(const char* what, int fills, const Figures& fast, const Figures& naive)
{
    const double ratio = naive.fill / fast.fill;
    const bool met = fast.fill <= 5.0 && ratio >= 10.0;
    std::printf("%s, median of %d fills:\n", what, fills);
    std::printf("  shared list models  %9.3f ms  (with the events it leaves %9.3f ms)\n", fast.fill, fast.withEvents);
    std::printf("  naive addItem       %9.3f ms  (with the events it leaves %9.3f ms)\n", naive.fill, naive.withEvents);
    std::printf("  ratio %.1fx; target <= 5 ms and >= 10x: %s\n", ratio, met ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int fills = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    for (const bool isLift : {false, true}) {
        BusDevSet devs;
        DoorConfig doors(devs);
        LiftConfig lift(devs);
        const std::vector<uint8_t> list = WorstCaseList(isLift);
        if (!devs.Decode(list)) {
            std::fprintf(stderr, "the worst-case device list was rejected\n");
            return 2;
        }
        for (auto& door : doors.doors) door.bytes.fill(0xFF);
        lift.lift.bytes.fill(0xFF);
        AssignSome(doors, lift, isLift);

        bool filling = false;
        EditorModel model{devs, doors, lift, [] { return 3; }};
        TDoorPage doorPage(model, filling);
        TLiftPage liftPage(model, filling);
        QWidget& page = isLift ? static_cast<QWidget&>(liftPage) : doorPage;
        page.show();
        NaivePage naive(isLift ? 17 : 20);
        QCoreApplication::processEvents();

        const Figures fast = isLift ? Measure(fills, [&] { liftPage.FillLiftPage(); })
                                    : Measure(fills, [&] { doorPage.FillDoorPage(); });
        const Figures slow = isLift ? Measure(fills, [&] { NaiveLiftFill(naive, devs, lift.lift); })
                                    : Measure(fills, [&] { NaiveDoorFill(naive, devs, doors.doors[0]); });
        // A fill that did nothing would measure nothing: show what one picker holds afterwards.
        const auto* picker = page.findChild<QComboBox*>(isLift ? QStringLiteral("LIn4Sel") : QStringLiteral("Out1Sel"));
        const auto* naivePicker = naive.combos[isLift ? 9 : 1];
        ResList free;
        const int entries = devs.FreeList(isLift ? ResKind::OutputSet : ResKind::Output, free);
        std::printf("%s page: 108 devices of %s, 31 inputs and 3 readers; %d free %s, %d free inputs\n",
                    isLift ? "Lift" : "Door", isLift ? "3 output sets" : "31 outputs", entries,
                    isLift ? "output sets" : "outputs", devs.FreeList(ResKind::Input, free));
        std::printf("%s holds %d entries after a fill, its naive twin %d\n", qPrintable(picker->objectName()),
                    picker->count(), naivePicker->count());
        Report(isLift ? "FillLiftPage" : "FillDoorPage", fills, fast, slow);

        // Opening the list of a picker after a fill makes the texts of the rows it shows.
        auto* open = const_cast<QComboBox*>(picker);
        const Figures popup = Measure(std::min(fills, 50), [&] {
            open->showPopup();
            open->hidePopup();
        });
        std::printf("  opening and closing the list of %s: %.3f ms (with events %.3f ms)\n",
                    qPrintable(open->objectName()), popup.fill, popup.withEvents);
    }
    return 0;
}
