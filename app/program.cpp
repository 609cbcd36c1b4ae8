#include "app/program.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include <QtGlobal>
#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#endif

#include <QCommandLineParser>
#include <QDirIterator>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QStyle>

#include "app/seams.h"
#include "app/wmain.h"
#include "help/lokdlg.h"
#include "help/whelp.h"
#include "olm/version.h"
#include "trace/options.h"
#include "trace/trace.h"

namespace {

QString Message(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return {};
    }
}

// The program's icon in every size that the build rendered into the resources.
QIcon ProgramIcon()
{
    QIcon icon;
    QDirIterator it(QStringLiteral(":/icon"), {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) icon.addFile(it.next());
    return icon;
}

void ShowFatal(const QString& text)
{
    QMessageBox::critical(nullptr, QStringLiteral("OlmConfig"), text);
}

#ifdef Q_OS_UNIX
// SIGTERM and SIGINT end the event loop the ordinary way, so the window's destruction still
// closes the sessions. The handler only writes a byte; the loop reads it.
int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[0], &byte, 1);
}

std::unique_ptr<QSocketNotifier> QuitOnSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(signalPipe[1], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(signalPipe[1], &byte, 1);
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return notifier;
}
#else
// Windows ends the program through its window only.
std::unique_ptr<QSocketNotifier> QuitOnSignals() { return nullptr; }
#endif

}  // namespace

OlmApplication::OlmApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationVersion(QStringLiteral(OLM_VERSION));
    setWindowIcon(ProgramIcon());
    setDesktopFileName(QStringLiteral("olmconfig"));
    LoadPolishTranslations(*this);
}

bool OlmApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowFatal(Message(std::current_exception()));
        return false;
    }
}

void AddNetOptions(QCommandLineParser& parser)
{
    // Their values are checked by ProgramNet, which shows a bad one in the error box.
    parser.addOption(QCommandLineOption(QStringLiteral("target"),
                                        QStringLiteral("Szuka też kontrolerów poza własnym segmentem sieci: pyta "
                                                       "każdy adres zakresu osobno (najwyżej /22); można powtarzać."),
                                        QStringLiteral("ADRES[/PREFIKS]")));
    parser.addOption(QCommandLineOption(QStringLiteral("trace"),
                                        QStringLiteral("Dopisuje do PLIKU wiersz JSON o każdym wysłanym i odebranym "
                                                       "datagramie, dla serwisu (bez materiału klucza sesji)."),
                                        QStringLiteral("PLIK")));
}

void ProcessCommandLine(QCommandLineParser& parser, const QCoreApplication& app)
{
    // Qt's own help option is not translated into Polish.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Wyświetla tę pomoc."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    // An option that cannot be followed is a usage error: one line on stderr, status 2.
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                     qUtf8Printable(parser.errorText()));
        std::exit(2);
    }
    if (parser.isSet(version)) parser.showVersion();
    if (parser.isSet(help)) parser.showHelp(0);
}

namespace {

int RunWindow(Endpoint& udp, const std::function<void(TMainWin&)>& started)
{
    try {
        // The window is laid out for the classic Windows look. Where the platform's style is Qt's
        // Fusion (Linux desktops), whose fields are padded wider, the Windows style keeps every
        // resource name whole within its 113-pixel picker.
        if (QApplication::style()->name() == QStringLiteral("fusion")) QApplication::setStyle(QStringLiteral("windows"));
        QtSeams seams;
        TMainWin mainWin(udp, seams);
        THelpWin helpWin;
        TLokalizDlg lokalizDlg;
        mainWin.SetSecondaryWindows(&helpWin, &lokalizDlg);

        const std::unique_ptr<QSocketNotifier> notifier = QuitOnSignals();

        if (started) started(mainWin);
        mainWin.show();
        QApplication::exec();
    } catch (...) {
        ShowFatal(Message(std::current_exception()));
    }
    return 0;
}

}  // namespace

int RunProgram(Endpoint& udp, const std::function<void(TMainWin&)>& started)
{
    return RunWindow(udp, started);
}

ProgramNet::ProgramNet(Endpoint& udp, const QStringList& arguments, AppSeams& seams, const std::string& program)
    : udp_(udp), previousTargets_(SearchTargets())
{
    std::vector<std::string> args;
    for (const QString& arg : arguments) args.push_back(arg.toStdString());
    QString problem;
    try {
        const NetOptions options = ParseNetOptions(args);
        if (options.trace) trace_ = std::make_unique<TraceEndpoint>(udp, *options.trace, program);
        SetSearchTargets(options.targets);
        return;
    } catch (const UsageError& e) {
        status_ = 2;
        problem = QString::fromUtf8(e.what()) + QStringLiteral("\n\nUżycie: ") + QString::fromStdString(program) +
                  QStringLiteral(" [--target ADRES[/PREFIKS]]... [--trace PLIK]\n") + QString::fromUtf8(NetOptionsHelp());
    } catch (const std::exception& e) {
        status_ = 1;
        problem = QString::fromUtf8(e.what());
    }
    // One line on stderr too, for whoever started the program from a shell.
    std::fprintf(stderr, "%s: %s\n", program.c_str(), problem.section(QLatin1Char('\n'), 0, 0).toUtf8().constData());
    seams.ShowError(nullptr, problem);
}

ProgramNet::~ProgramNet() { SetSearchTargets(previousTargets_); }

Endpoint& ProgramNet::Udp() const { return trace_ ? *trace_ : udp_; }

int RunProgram(Endpoint& udp, const QStringList& arguments, const std::function<void(TMainWin&)>& started)
{
    QtSeams seams;
    const ProgramNet net(udp, arguments, seams, QCoreApplication::applicationName().toStdString());
    if (net.Status() != 0) return net.Status();
    return RunWindow(net.Udp(), started);
}
