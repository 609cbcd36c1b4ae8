#pragma once
#include <functional>

#include <QApplication>

class Endpoint;
class QCommandLineParser;
class TMainWin;

// The application object of both programs: the project's version for --version, the program's
// icon for every window, and Qt's own Polish texts. An exception that escapes an event handler is
// shown in a message box with its message, and the program goes on.
class OlmApplication : public QApplication {
public:
    OlmApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Adds --help and --version (with Polish descriptions) to the parser holding the program's own
// options, and processes the command line: --help and --version print and end the program, an
// unknown option ends it with one line on stderr.
void ProcessCommandLine(QCommandLineParser& parser, const QCoreApplication& app);

// Loads Qt's own Polish texts, so that the standard boxes and dialogs speak Polish too.
void LoadPolishTranslations(QCoreApplication& app);

// Runs the program on the endpoint: the main window (whose creation runs the first search), the
// help window, the location dialog, then the event loop until the main window is closed or the
// process gets SIGTERM or SIGINT; the window's destruction closes every session. `started` is
// called with the window before the loop runs. Returns the exit status, 0.
int RunProgram(Endpoint& udp, const std::function<void(TMainWin&)>& started = {});
