// OlmConfig on a simulated network of sample controllers: every feature without hardware.
#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "app/program.h"
#include "app/wmain.h"
#include "sim/samples.h"
#include "sim/simlan.h"

namespace {

// Hidden option of the demo only, for the README's picture: --screenshot FILE saves the main
// window as an image once it has been shown, then ends the program.
void ScheduleScreenshot(TMainWin& win, const QString& file)
{
    QTimer::singleShot(1500, &win, [&win, file] {
        win.grab().save(file);
        QApplication::closeAllWindows();
        QApplication::quit();
    });
}

}  // namespace

int main(int argc, char** argv)
{
    OlmApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    const qsizetype shot = args.indexOf(QStringLiteral("--screenshot"));
    const QString screenshotFile = shot >= 0 && shot + 1 < args.size() ? args[shot + 1] : QString();

    SimLan lan;
    AddSampleControllers(lan);
    lan.FollowRealTime(true);
    return RunProgram(lan, [&screenshotFile](TMainWin& win) {
        if (!screenshotFile.isEmpty()) ScheduleScreenshot(win, screenshotFile);
    });
}
