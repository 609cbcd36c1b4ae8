// OlmConfig on a simulated network of sample controllers: every feature without hardware.
#include <QApplication>
#include <QListWidget>
#include <QStringList>
#include <QTimer>

#include "app/program.h"
#include "app/wmain.h"
#include "sim/samples.h"
#include "sim/simlan.h"

namespace {

// Hidden options of the demo only, for the README's picture: --screenshot FILE saves the main
// window as an image once it has been shown, then ends the program; --line N first selects line N
// of the controller list, as a click would.
void ScheduleScreenshot(TMainWin& win, const QString& file, int line)
{
    QTimer::singleShot(300, &win, [&win, line] {
        if (line < 0 || line >= win.EthLstBox->count()) return;
        win.EthLstBox->setCurrentRow(line);
    });
    QTimer::singleShot(2000, &win, [&win, file] {
        win.grab().save(file);
        QApplication::closeAllWindows();
        QApplication::quit();
    });
}

QString OptionValue(const QStringList& args, const QString& name)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : QString();
}

}  // namespace

int main(int argc, char** argv)
{
    OlmApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const QString screenshotFile = OptionValue(args, QStringLiteral("--screenshot"));
    bool lineGiven = false;
    const int line = OptionValue(args, QStringLiteral("--line")).toInt(&lineGiven);

    SimLan lan;
    AddSampleControllers(lan);
    lan.FollowRealTime(true);
    return RunProgram(lan, [&](TMainWin& win) {
        if (!screenshotFile.isEmpty()) ScheduleScreenshot(win, screenshotFile, lineGiven ? line : -1);
    });
}
