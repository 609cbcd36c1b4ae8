// OlmConfig on a simulated network of sample controllers: every feature without hardware.
#include <QApplication>
#include <QCommandLineParser>
#include <QListWidget>
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

QCommandLineOption HiddenOption(const QString& name, const QString& valueName)
{
    QCommandLineOption option(name, QString(), valueName);
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}

}  // namespace

int main(int argc, char** argv)
{
    OlmApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "OlmConfig na symulowanej sieci przykładowych kontrolerów: każda funkcja programu bez sprzętu."));
    const QCommandLineOption screenshotOption = HiddenOption(QStringLiteral("screenshot"), QStringLiteral("file"));
    const QCommandLineOption lineOption = HiddenOption(QStringLiteral("line"), QStringLiteral("n"));
    parser.addOption(screenshotOption);
    parser.addOption(lineOption);
    ProcessCommandLine(parser, app);
    const QString screenshotFile = parser.value(screenshotOption);
    bool lineGiven = false;
    const int line = parser.value(lineOption).toInt(&lineGiven);

    SimLan lan;
    AddSampleControllers(lan);
    lan.FollowRealTime(true);
    return RunProgram(lan, [&](TMainWin& win) {
        if (!screenshotFile.isEmpty()) ScheduleScreenshot(win, screenshotFile, lineGiven ? line : -1);
    });
}
