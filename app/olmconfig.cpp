// OlmConfig: finds the OLM controllers on the local network and configures their doors and lifts.
#include <QCommandLineParser>

#include "app/program.h"
#include "net/qudpendpoint.h"

int main(int argc, char** argv)
{
    OlmApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Wyszukuje kontrolery systemu OLM w sieci lokalnej (UDP, port 45389) i konfiguruje ich\n"
        "urządzenia olmBUS, przejścia i windę."));
    AddNetOptions(parser);
    ProcessCommandLine(parser, app);

    QUdpEndpoint udp;
    // --target and --trace (see RunProgram); without options the program is the plain window.
    return RunProgram(udp, QApplication::arguments());
}
