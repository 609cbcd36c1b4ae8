// olmsim: serves simulated OLM controllers over real UDP, so that OlmConfig (or any client of
// the protocol) can be tried without hardware. Every request served is printed on one line.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "link/devid.h"
#include "link/frame.h"
#include "net/qudpendpoint.h"
#include "net/translations.h"
#include "olm/version.h"
#include "olmsim/scenario.h"
#include "sim/peer.h"
#include "sim/samples.h"
#include "trace/options.h"
#include "trace/trace.h"

namespace {

struct Pending {
    int64_t dueMs;
    uint32_t ip;
    uint16_t port;
    std::vector<uint8_t> bytes;
};

std::string AddressText(uint32_t ip, uint16_t port)
{
    return QHostAddress(ip).toString().toStdString() + ":" + std::to_string(port);
}

// "K105_01201 D signed 0 from 10.231.0.2:45389"
void PrintRequest(const ControllerPeer& peer, const PeerRequest& req, uint32_t ip, uint16_t port)
{
    const auto letter = static_cast<unsigned char>(req.letter);
    char shown[8];
    if (letter > 0x20 && letter < 0x7F) {
        std::snprintf(shown, sizeof shown, "%c", letter);
    } else {
        std::snprintf(shown, sizeof shown, "0x%02X", letter);
    }
    std::printf("%s %s %s %zu%s from %s\n", DevName(peer.id).c_str(), shown, req.isSigned ? "signed" : "unsigned",
                req.payload.size(), req.isSigned && !req.codeOk ? " bad-code" : "", AddressText(ip, port).c_str());
    std::fflush(stdout);
}

std::vector<std::unique_ptr<ControllerPeer>> MakePeers(const QString& scenarioPath)
{
    std::vector<ScenarioController> controllers;
    if (scenarioPath.isEmpty()) {
        for (SampleController& s : SampleControllers()) controllers.push_back({std::move(s), {}});
    } else {
        QFile file(scenarioPath);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error(scenarioPath.toStdString() + ": " + file.errorString().toStdString());
        controllers = ParseScenario(file.readAll().toStdString());
    }
    std::vector<std::unique_ptr<ControllerPeer>> peers;
    for (const ScenarioController& c : controllers) {
        auto peer = std::make_unique<ControllerPeer>(c.sample.id, c.sample.status);
        peer->deviceList = c.sample.deviceList;
        peer->blocks = c.sample.blocks;
        peer->faults = c.faults;
        peers.push_back(std::move(peer));
    }
    return peers;
}

[[noreturn]] void Serve(Endpoint& udp, std::vector<std::unique_ptr<ControllerPeer>>& peers)
{
    std::vector<uint8_t> buffer(kBufferSize);
    std::vector<Pending> pending;   // replies that a fault delays
    for (;;) {
        int waitMs = 1000;
        for (const Pending& p : pending)
            waitMs = std::min<int>(waitMs, static_cast<int>(std::max<int64_t>(p.dueMs - udp.NowMs(), 0)));
        uint32_t ip = 0;
        uint16_t port = 0;
        const std::size_t n = udp.Receive(buffer.data(), buffer.size(), waitMs, ip, port).value_or(0);
        const int64_t now = udp.NowMs();
        if (n >= kUnsignedOverhead) {
            const std::span<const uint8_t> request(buffer.data(), n);
            const uint32_t target = GetU32(&buffer[4]);
            for (auto& peer : peers) {
                if (target != peer->id && target != kAllDevices) continue;
                for (PeerReply& reply : peer->Handle(request, now))
                    pending.push_back({now + reply.delayMs, ip, port, std::move(reply.bytes)});
                for (const PeerRequest& req : peer->log) PrintRequest(*peer, req, ip, port);
                peer->log.clear();
            }
        }
        // Replies go to the sender's address and port, in the order they fall due.
        std::stable_sort(pending.begin(), pending.end(), [](const Pending& a, const Pending& b) { return a.dueMs < b.dueMs; });
        while (!pending.empty() && pending.front().dueMs <= udp.NowMs()) {
            const Pending& p = pending.front();
            try {
                udp.SendTo(p.ip, p.port, p.bytes.data(), p.bytes.size());
            } catch (const std::runtime_error& e) {
                // One sender that cannot be reached must not stop the others being served.
                std::fprintf(stderr, "olmsim: reply to %s: %s\n", AddressText(p.ip, p.port).c_str(), e.what());
            }
            pending.erase(pending.begin());
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("olmsim");
    QCoreApplication::setApplicationVersion(OLM_VERSION);

    LoadPolishTranslations(app);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(
        "Symulator kontrolerów OLM w sieci UDP (domyślnie 0.0.0.0:45389): przykładowy zestaw\n"
        "kontrolerów albo kontrolery z pliku scenariusza JSON (opis w olmsim(1)). Każde obsłużone\n"
        "żądanie wypisuje w jednym wierszu: nazwa urządzenia, litera rozkazu, signed albo unsigned,\n"
        "długość danych, nadawca."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString::fromUtf8("Wyświetla tę pomoc."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QString::fromUtf8("Port UDP symulatora (domyślnie 45389)."),
                                        QStringLiteral("port"), QStringLiteral("45389"));
    const QCommandLineOption bindOption(QStringLiteral("bind"),
                                        QString::fromUtf8("Lokalny adres IPv4 symulatora (domyślnie 0.0.0.0, każdy)."),
                                        QString::fromUtf8("adres"), QStringLiteral("0.0.0.0"));
    const QCommandLineOption traceOption(QStringLiteral("trace"),
                                         QString::fromUtf8("Dopisuje do PLIKU wiersz JSON o każdym datagramie (ślad "
                                                           "dla serwisu; czyta go olmctl trace-view)."),
                                         QStringLiteral("PLIK"));
    parser.addOption(portOption);
    parser.addOption(bindOption);
    parser.addOption(traceOption);
    parser.addPositionalArgument(QStringLiteral("scenariusz"), QString::fromUtf8("Plik scenariusza JSON (nieobowiązkowy)."),
                                 QStringLiteral("[scenariusz.json]"));
    // A command line that cannot be followed is a usage error: one line, status 2.
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "olmsim: %s\n", parser.errorText().toUtf8().constData());
        return 2;
    }
    if (parser.isSet(version)) parser.showVersion();
    if (parser.isSet(help)) parser.showHelp(0);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    QHostAddress bindAddress;
    if (!portOk || port == 0 || port > 65535) {
        std::fprintf(stderr, "olmsim: --port: oczekiwano numeru portu 1-65535, a nie %s\n",
                     parser.value(portOption).toUtf8().constData());
        return 2;
    }
    if (!bindAddress.setAddress(parser.value(bindOption)) || bindAddress.protocol() != QAbstractSocket::IPv4Protocol) {
        std::fprintf(stderr, "olmsim: --bind: oczekiwano adresu IPv4, a nie %s\n",
                     parser.value(bindOption).toUtf8().constData());
        return 2;
    }
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "olmsim: najwyżej jeden plik scenariusza; zobacz olmsim --help\n");
        return 2;
    }
    NetOptions net;   // --trace, checked as every program checks it
    try {
        for (const QString& value : parser.values(traceOption)) AddNetOption("--trace", value.toStdString(), net);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "olmsim: %s\n", e.what());
        return 2;
    }

    try {
        auto peers = MakePeers(parser.positionalArguments().value(0));
        QUdpEndpoint udp(bindAddress.toIPv4Address());
        std::unique_ptr<TraceEndpoint> trace;
        if (net.trace) trace = std::make_unique<TraceEndpoint>(udp, *net.trace, "olmsim");
        udp.Bind(static_cast<uint16_t>(port));
        std::printf("olmsim: serving %zu devices on %s\n", peers.size(),
                    AddressText(bindAddress.toIPv4Address(), udp.LocalPort()).c_str());
        for (const auto& peer : peers)
            std::printf("  %s, status %u\n", DevName(peer->id).c_str(), static_cast<unsigned>(peer->status));
        std::fflush(stdout);
        Serve(trace ? static_cast<Endpoint&>(*trace) : udp, peers);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "olmsim: %s\n", e.what());
        return 1;
    }
}
