// olmctl: keeps, compares and restores the configuration of OLM controllers from the command line,
// over the same link and model as the window. The commands themselves live in ctl/.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QtGlobal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <csignal>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

#include "ctl/ctl.h"
#include "link/endpoint.h"
#include "link/target.h"
#include "net/qudpendpoint.h"
#include "net/translations.h"
#include "olm/version.h"
#include "sim/samples.h"
#include "sim/simlan.h"
#include "trace/options.h"
#include "trace/trace.h"

namespace {

// The whole --help text: a usage line, every command and option, the exit statuses, examples.
const char* const kHelp =
    "Użycie: olmctl [OPCJE] POLECENIE [ARGUMENTY...]\n"
    "Kopia, porównanie i przywracanie konfiguracji kontrolerów OLM z wiersza poleceń.\n"
    "\n"
    "Kontroler wskazuje się nazwą urządzenia (K105_01502) albo adresem IP; olmctl szuka\n"
    "kontrolerów w sieci tak jak okno programu OlmConfig. Przejścia numeruje się od 1.\n"
    "Argument, który nie jest nazwą urządzenia ani adresem IP, jest nazwą pliku kopii.\n"
    "\n"
    "Polecenia:\n"
    "  scan                      kontrolery w sieci: nazwa, adres IP, tryb, w kolejności okna;\n"
    "                            wyszukiwanie niczego na kontrolerach nie zmienia\n"
    "  time NAZWA|all            ustawia zegar kontrolera (all: każdego znalezionego) ramką czasu\n"
    "  show NAZWA|PLIK           urządzenia magistrali jak w panelu urządzeń, a dla każdego\n"
    "                            przejścia (lub windy) każda funkcja z przypisanym zasobem\n"
    "                            (K105_01502:Out1 NC), nazwa, typ, śluza, czytniki wyjścia, czasy\n"
    "  backup NAZWA -o PLIK      zapisuje kopię konfiguracji kontrolera (JSON; -o - wypisuje ją)\n"
    "  diff A B                  porównuje A i B (każde to plik kopii albo kontroler) według nazw\n"
    "                            urządzeń; zasoby samego kontrolera porównuje jako \"kontroler\";\n"
    "                            jeden wiersz na różnicę: miejsce, funkcja, wartość A, wartość B\n"
    "  restore PLIK NAZWA        przywraca kopię na kontroler tego samego rodzaju; bez --yes tylko\n"
    "                            pokazuje, co by zmienił; zapisuje tylko różniące się przejścia,\n"
    "                            każde odczytuje z powrotem i sprawdza; wcześniej zachowuje obecny\n"
    "                            stan kontrolera w pliku obok kopii (lub --keep)\n"
    "  report NAZWA -o PLIK      raport konfiguracji przejść, bajt w bajt ten sam co \"Raport\" okna\n"
    "  delete-inactive NAZWA     usuwa nieaktywne urządzenia magistrali (z --yes)\n"
    "  replace NAZWA STARE NOWE  przenosi ustawienia nieaktywnego urządzenia STARE na nowe\n"
    "                            urządzenie NOWE tego samego typu (z --yes)\n"
    "  trace-view PLIK           wypisuje ślad zapisany opcją --trace (olmctl, olmconfig, olmsim):\n"
    "                            jeden wyrównany wiersz na datagram\n"
    "\n"
    "Opcje:\n"
    "  -o, --output PLIK         plik kopii (backup) lub raportu (report)\n"
    "      --location TEKST      lokalizacja w raporcie, najwyżej 80 znaków\n"
    "      --json                wynik dla programów (JSON) poleceń scan, show i diff\n"
    "      --doors LISTA         restore: tylko te przejścia, np. 1,3\n"
    "      --map STARE=NOWE      restore: urządzenie STARE z kopii to na magistrali kontrolera\n"
    "                            urządzenie NOWE tego samego typu (np. wymieniony czytnik);\n"
    "                            można powtarzać\n"
    "      --yes                 naprawdę zapisuje (restore, delete-inactive, replace); bez tej\n"
    "                            opcji polecenie tylko pokazuje, co by zrobiło\n"
    "      --keep PLIK           restore: plik na stan sprzed przywrócenia (domyślnie\n"
    "                            KOPIA.NAZWA-RRRRMMDD-GGMMSS.keep.json obok kopii)\n"
    "      --demo                zamiast sieci symulowana sieć przykładowych kontrolerów (jak\n"
    "                            olmconfig-demo); nie pamięta zmian między wywołaniami\n"
    "      --target ADRES[/PREFIKS]\n"
    "                            szuka też kontrolerów poza własnym segmentem sieci: pyta każdy\n"
    "                            adres zakresu osobno (najwyżej /22); można powtarzać\n"
    "      --trace PLIK          dopisuje do PLIKU wiersz JSON o każdym wysłanym i odebranym\n"
    "                            datagramie, dla serwisu (bez materiału klucza sesji)\n"
    "  -h, --help                wyświetla tę pomoc\n"
    "  -v, --version             wyświetla wersję programu\n"
    "\n"
    "Status wyjścia: 0 wykonano (diff: bez różnic), 1 błąd, odmowa albo (diff) różnice,\n"
    "2 błąd użycia. Przyczyna błędu jest na standardowym wyjściu błędów, wiersz na problem.\n"
    "Ctrl+C przerywa polecenie między wymianami z kontrolerem; sesje zostają zamknięte.\n"
    "\n"
    "Przykłady:\n"
    "  olmctl scan\n"
    "  olmctl backup K105_01502 -o przed-zmiana.json\n"
    "  olmctl diff przed-zmiana.json K105_01502\n"
    "  olmctl restore przed-zmiana.json K105_01502\n"
    "  olmctl restore przed-zmiana.json K105_01502 --yes\n"
    "  olmctl restore stary.json K105_01777 --map R107_00405=R107_00420 --yes\n"
    "  olmctl report K105_01502 -o raport.txt --location \"Budynek A, parter\"\n"
    "  olmctl --demo show K105_01502\n"
    "  olmctl scan --target 10.20.30.0/24\n"
    "  olmctl backup K105_01502 -o kopia.json --trace slad.jsonl\n"
    "  olmctl trace-view slad.jsonl\n";

// The endpoint of the run: the real network, or with --demo the simulated LAN of sample
// controllers that olmconfig-demo shows; with --trace, wrapped in the trace of its datagrams.
struct RunEndpoint {
    RunEndpoint(bool demo, const std::optional<std::filesystem::path>& tracePath)
    {
        if (demo) {
            auto lan = std::make_unique<SimLan>();
            AddSampleControllers(*lan);
            network = std::move(lan);
        } else {
            network = std::make_unique<QUdpEndpoint>();
        }
        if (tracePath) trace = std::make_unique<TraceEndpoint>(*network, *tracePath, "olmctl");
    }
    Endpoint& Get() const { return trace ? static_cast<Endpoint&>(*trace) : *network; }

    std::unique_ptr<Endpoint> network;
    std::unique_ptr<TraceEndpoint> trace;
};

#ifdef Q_OS_UNIX
void OnSignal(int) { RequestStop(); }

// Ctrl+C and SIGTERM ask the command to stop between two exchanges, so that it still closes its
// sessions; a second signal ends the program at once.
void StopOnSignals()
{
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#else
void StopOnSignals() {}
#endif

std::string Utf8(const QString& text) { return text.toStdString(); }

} // namespace

int main(int argc, char** argv)
{
#ifdef Q_OS_WIN
    SetConsoleOutputCP(CP_UTF8);
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("olmctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OLM_VERSION));
    LoadPolishTranslations(app);

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString::fromUtf8("Pomoc."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption json(QStringLiteral("json"),
                                  QString::fromUtf8("Wynik dla programów (JSON) w scan, show i diff."));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QString::fromUtf8("Zamiast sieci symulowana sieć przykładowych kontrolerów "
                                                    "(jak olmconfig-demo); niczego nie zapamiętuje między "
                                                    "wywołaniami."));
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")},
                                    QString::fromUtf8("Plik wynikowy kopii (backup) lub raportu (report)."),
                                    QStringLiteral("PLIK"));
    const QCommandLineOption location(QStringLiteral("location"),
                                      QString::fromUtf8("Lokalizacja kontrolera w raporcie (najwyżej 80 znaków)."),
                                      QString::fromUtf8("TEKST"));
    const QCommandLineOption doors(QStringLiteral("doors"),
                                   QString::fromUtf8("Przywraca tylko te przejścia, np. 1,3."),
                                   QString::fromUtf8("LISTA"));
    const QCommandLineOption map(QStringLiteral("map"),
                                 QString::fromUtf8("Przy przywracaniu: urządzenie STARE z kopii odpowiada urządzeniu "
                                                   "NOWE tego samego typu na magistrali kontrolera (np. wymieniony "
                                                   "czytnik); można powtarzać."),
                                 QString::fromUtf8("STARE=NOWE"));
    const QCommandLineOption yes(QStringLiteral("yes"),
                                 QString::fromUtf8("Naprawdę zapisuje (restore, delete-inactive, replace); bez niej "
                                                   "polecenie tylko pokazuje, co by zrobiło."));
    const QCommandLineOption keep(QStringLiteral("keep"),
                                  QString::fromUtf8("Plik na stan kontrolera sprzed przywrócenia (domyślnie obok "
                                                    "kopii: KOPIA.NAZWA-DATA.keep.json)."),
                                  QString::fromUtf8("PLIK"));
    const QCommandLineOption target(QStringLiteral("target"),
                                    QString::fromUtf8("Szuka też pod każdym adresem zakresu (najwyżej /22)."),
                                    QString::fromUtf8("ADRES[/PREFIKS]"));
    const QCommandLineOption trace(QStringLiteral("trace"), QString::fromUtf8("Ślad datagramów dla serwisu."),
                                   QString::fromUtf8("PLIK"));
    for (const QCommandLineOption* o : {&json, &demo, &output, &location, &doors, &map, &yes, &keep, &target, &trace})
        parser.addOption(*o);

    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "olmctl: %s\n", parser.errorText().toUtf8().constData());
        return 2;
    }
    if (parser.isSet(version)) parser.showVersion();
    if (parser.isSet(help)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::vector<std::string> args;
    for (const QString& a : parser.positionalArguments()) args.push_back(Utf8(a));
    if (args.empty()) {
        std::fputs(kHelp, stderr);
        return 2;
    }

    Ctl ctl{std::cout, std::cerr, {}};
    ctl.program = "olmctl " OLM_VERSION;
    CtlOptions& o = ctl.options;
    const struct {
        const QCommandLineOption* option;
        const char* name;
    } kNames[] = {{&json, "json"},   {&demo, "demo"}, {&output, "output"}, {&location, "location"},
                  {&doors, "doors"}, {&map, "map"},   {&yes, "yes"},       {&keep, "keep"},
                  {&target, "target"}, {&trace, "trace"}};
    for (const auto& n : kNames)
        if (parser.isSet(*n.option)) o.given.insert(n.name);
    o.json = parser.isSet(json);
    o.yes = parser.isSet(yes);
    o.output = Utf8(parser.value(output));
    o.location = Utf8(parser.value(location));
    o.keep = Utf8(parser.value(keep));
    if (parser.isSet(doors) && !ParseDoorList(Utf8(parser.value(doors)), o.doors)) {
        std::fprintf(stderr, "olmctl: --doors: oczekiwano numerów przejść 1-8 po przecinku, np. 1,3\n");
        return 2;
    }
    for (const QString& value : parser.values(map)) {
        DeviceMap m;
        if (!ParseDeviceMap(Utf8(value), m)) {
            std::fprintf(stderr, "olmctl: --map %s: oczekiwano STARE=NOWE z nazwami urządzeń, np. "
                                 "R107_00405=R107_00420\n", value.toUtf8().constData());
            return 2;
        }
        o.maps.push_back(m);
    }
    NetOptions net;
    try {
        for (const QString& value : parser.values(target)) AddNetOption("--target", Utf8(value), net);
        for (const QString& value : parser.values(trace)) AddNetOption("--trace", Utf8(value), net);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "olmctl: %s\n", e.what());
        return 2;
    }
    SetSearchTargets(std::move(net.targets));

    try {
        const RunEndpoint endpoint(parser.isSet(demo), net.trace);
        SetEndpoint(&endpoint.Get());
        StopOnSignals();
        const int status = RunCommand(ctl, args);
        std::cout.flush();
        SetEndpoint(nullptr);
        return status;
    } catch (const std::exception& e) {
        SetEndpoint(nullptr);
        std::fprintf(stderr, "olmctl: %s\n", e.what());
        return 1;
    }
}
