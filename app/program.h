#pragma once
#include <functional>

#include <QApplication>

class Endpoint;
class TMainWin;

// The application object of both programs. An exception that escapes an event handler is shown in
// a message box with its message, and the program goes on.
class OlmApplication : public QApplication {
public:
    OlmApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Loads Qt's own Polish texts, so that the standard boxes and dialogs speak Polish too.
void LoadPolishTranslations(QCoreApplication& app);

// Runs the program on the endpoint: the main window (whose creation runs the first search), the
// help window, the location dialog, then the event loop until the main window is closed or the
// process gets SIGTERM or SIGINT; the window's destruction closes every session. `started` is
// called with the window before the loop runs. Returns the exit status, 0.
int RunProgram(Endpoint& udp, const std::function<void(TMainWin&)>& started = {});
