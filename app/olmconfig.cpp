// OlmConfig: finds the OLM controllers on the local network and configures their doors and lifts.
#include "app/program.h"
#include "net/qudpendpoint.h"

int main(int argc, char** argv)
{
    OlmApplication app(argc, argv);
    QUdpEndpoint udp;
    // --target and --trace (see RunProgram); without options the program is the plain window.
    return RunProgram(udp, QApplication::arguments());
}
