#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>

#include "net/translations.h"
#include <QStringList>

#include "link/target.h"

class AppSeams;
class Endpoint;
class QCommandLineParser;
class TMainWin;
class TraceEndpoint;

// The application object of both programs: the project's version for --version, the program's
// icon for every window, and Qt's own Polish texts. An exception that escapes an event handler is
// shown in a message box with its message, and the program goes on.
class OlmApplication : public QApplication {
public:
    OlmApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Adds --target and --trace (see ProgramNet) to a program's parser, so that its help shows them.
void AddNetOptions(QCommandLineParser& parser);

// Adds --help and --version (with Polish descriptions) to the parser holding the program's own
// options, and processes the command line: --help and --version print and end the program, an
// unknown option ends it with one line on stderr.
void ProcessCommandLine(QCommandLineParser& parser, const QCoreApplication& app);

// Runs the program on the endpoint: the main window (whose creation runs the first search), the
// help window, the location dialog, then the event loop until the main window is closed or the
// process gets SIGTERM or SIGINT; the window's destruction closes every session. `started` is
// called with the window before the loop runs. Returns the exit status, 0.
int RunProgram(Endpoint& udp, const std::function<void(TMainWin&)>& started = {});

// The endpoint that a program's window uses, made from its command line: every --target range
// joins the search (until this object goes), and --trace FILE wraps the endpoint in a trace. A bad
// option (status 2) or a trace file that cannot be opened (status 1) is shown in the error box
// before anything is sent.
class ProgramNet {
public:
    // arguments[0] is the program; program names it in the trace.
    ProgramNet(Endpoint& udp, const QStringList& arguments, AppSeams& seams, const std::string& program);
    ~ProgramNet();
    ProgramNet(const ProgramNet&) = delete;
    ProgramNet& operator=(const ProgramNet&) = delete;

    // 0 when the program may start; otherwise its exit status.
    int Status() const { return status_; }
    Endpoint& Udp() const;

private:
    Endpoint& udp_;
    std::unique_ptr<TraceEndpoint> trace_;
    std::vector<TargetRange> previousTargets_;
    int status_ = 0;
};

// RunProgram with the options of the command line (ProgramNet): the exit status is 2 for a bad
// option and 1 for a trace file that cannot be opened, shown before anything is sent; otherwise 0.
int RunProgram(Endpoint& udp, const QStringList& arguments, const std::function<void(TMainWin&)>& started = {});
