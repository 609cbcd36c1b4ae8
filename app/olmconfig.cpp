// OlmConfig: finds the OLM controllers on the local network and configures their doors and lifts.
#include "app/program.h"
#include "net/qudpendpoint.h"

int main(int argc, char** argv)
{
    OlmApplication app(argc, argv);
    QUdpEndpoint udp;
    return RunProgram(udp);
}
