// The window's command line: --target ranges join the search, --trace records every datagram, and
// a bad option is shown before anything is sent.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "app/program.h"
#include "link/target.h"
#include "rig.h"

namespace {

const uint32_t kFirst = MakeId(305, 42);
const uint32_t kSecond = MakeId(305, 43);

QList<QJsonObject> TraceLines(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QList<QJsonObject> lines;
    for (const QByteArray& text : file.readAll().split('\n'))
        if (!text.isEmpty()) lines << QJsonDocument::fromJson(text).object();
    return lines;
}

QString Hex(const std::vector<uint8_t>& bytes)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())).toHex());
}

QString DottedIp(uint32_t ip)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ip >> 24).arg((ip >> 16) & 255).arg((ip >> 8) & 255).arg(ip & 255);
}

}  // namespace

class TestNetOptions : public QObject {
    Q_OBJECT
private slots:
    void traceOfStartUpSelectionAndWrite();
    void badOptionIsShownBeforeAnythingIsSent_data();
    void badOptionIsShownBeforeAnythingIsSent();
    void targetRangeJoinsTheSearch();
    void withoutOptionsTheEndpointIsTheProgramsOwn();
};

void TestNetOptions::traceOfStartUpSelectionAndWrite()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("\u015Blad.jsonl"));
    SimLan lan;
    lan.latencyMs = 2;
    ControllerPeer& first = AddDoorController(lan, Ip(192, 168, 1, 20), kFirst, kSerwis, 2);
    AddDoorController(lan, Ip(192, 168, 1, 21), kSecond, kInstalacja, 1);
    FakeSeams seams;
    {
        ProgramNet net(lan, {QStringLiteral("olmconfig"), QStringLiteral("--trace"), file}, seams, "olmconfig");
        QCOMPARE(net.Status(), 0);
        QVERIFY(&net.Udp() != &lan);
        THelpWin help;
        TLokalizDlg lok;
        auto win = std::make_unique<TMainWin>(net.Udp(), seams);   // start-up: search, first selected
        win->UDPTimer->stop();
        win->SetSecondaryWindows(&help, &lok);
        {
            const QSignalBlocker block(win->EthLstBox);
            win->EthLstBox->setCurrentRow(1);
        }
        win->EthLstBoxClick();   // the second controller
        win->WrDCfgBtn->click();
        win.reset();             // closes both sessions
    }
    QVERIFY(seams.errors.isEmpty());
    QVERIFY(!first.HasSession(lan.NowMs()));

    const QList<QJsonObject> lines = TraceLines(file);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines[0][QStringLiteral("program")].toString(), QStringLiteral("olmconfig"));
    // Every datagram once, in the order it passed, at the time it passed.
    std::size_t sent = 0, received = 0;
    qint64 lastMs = 0;
    QByteArray letters;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QJsonObject& line = lines[i];
        const bool isSent = line[QStringLiteral("dir")].toString() == QStringLiteral("send");
        QVERIFY(isSent || line[QStringLiteral("dir")].toString() == QStringLiteral("recv"));
        const std::vector<SimLan::Datagram>& log = isSent ? lan.sent : lan.received;
        std::size_t& at = isSent ? sent : received;
        QVERIFY2(at < log.size(), qPrintable(QString::number(i)));
        const SimLan::Datagram& d = log[at++];
        const qint64 ms = line[QStringLiteral("ms")].toInteger();
        QCOMPARE(ms, qint64(d.atMs));
        QVERIFY(ms >= lastMs);
        lastMs = ms;
        QCOMPARE(line[QStringLiteral("ip")].toString(), DottedIp(isSent ? d.toIp : d.fromIp));
        QCOMPARE(line[QStringLiteral("len")].toInteger(), qint64(d.bytes.size()));
        if (!line[QStringLiteral("masked")].toBool()) QCOMPARE(line[QStringLiteral("hex")].toString(), Hex(d.bytes));
        const QString check = line[QStringLiteral("check")].toString();
        QVERIFY2(check == QStringLiteral("crc-ok") || check == QStringLiteral("code-ok"), qPrintable(check));
        if (isSent) letters += line[QStringLiteral("letter")].toString().toLatin1();
    }
    QCOMPARE(sent, lan.sent.size());
    QCOMPARE(received, lan.received.size());
    // Search, two time frames; the first controller read (O O K D O C C); the second read
    // (O O K D O C) and written (O c); the close of both sessions (O s each).
    QCOMPARE(letters, QByteArray("OTTOOKDOCCOOKDOCOcOsOs"));
}

void TestNetOptions::badOptionIsShownBeforeAnythingIsSent_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says");
    QTest::newRow("range too wide") << QStringList{QStringLiteral("--target"), QStringLiteral("10.0.0.0/16")} << 2
                                    << QStringLiteral("Zakres \u201E10.0.0.0/16\u201D jest za du\u017Cy");
    QTest::newRow("no value") << QStringList{QStringLiteral("--target")} << 2
                              << QStringLiteral("Opcja --target wymaga warto\u015Bci");
    QTest::newRow("a good one, then a bad one")
        << QStringList{QStringLiteral("--target=10.0.0.1"), QStringLiteral("--target=10.0.0.300")} << 2
        << QStringLiteral("\u201E10.0.0.300\u201D");
    QTest::newRow("unknown") << QStringList{QStringLiteral("--trace-file"), QStringLiteral("x")} << 2
                             << QStringLiteral("Nieznana opcja \u201E--trace-file\u201D");
    QTest::newRow("trace file that cannot be opened")
        << QStringList{QStringLiteral("--trace"), QStringLiteral("/nonexistent-olm-dir/t.jsonl")} << 1
        << QStringLiteral("Nie mo\u017Cna otworzy\u0107 pliku \u015Bladu \u201E/nonexistent-olm-dir/t.jsonl\u201D");
}

void TestNetOptions::badOptionIsShownBeforeAnythingIsSent()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, says);
    SimLan lan;
    AddDoorController(lan, Ip(192, 168, 1, 20), kFirst, kSerwis, 1);
    FakeSeams seams;
    args.prepend(QStringLiteral("olmconfig"));
    {
        const ProgramNet net(lan, args, seams, "olmconfig");
        QCOMPARE(net.Status(), status);
    }
    QCOMPARE(seams.errors.size(), 1);
    QVERIFY2(seams.errors[0].contains(says), qPrintable(seams.errors[0]));
    QCOMPARE(seams.errors[0].contains(QStringLiteral("U\u017Cycie: olmconfig [--target ADRES[/PREFIKS]]...")),
             status == 2);
    QVERIFY(!lan.IsBound());
    QVERIFY(lan.sent.empty());
    QVERIFY(SearchTargets().empty());
}

void TestNetOptions::targetRangeJoinsTheSearch()
{
    SimLan lan;
    lan.interfaces = {{Ip(192, 168, 1, 100), 24}};
    AddDoorController(lan, Ip(192, 168, 1, 20), kFirst, kSerwis, 1);
    AddDoorController(lan, Ip(10, 9, 8, 77), kSecond, kSerwis, 1);   // behind a router
    FakeSeams seams;
    {
        const ProgramNet net(lan, {QStringLiteral("olmconfig"), QStringLiteral("--target"), QStringLiteral("10.9.8.0/24")},
                             seams, "olmconfig");
        QCOMPARE(net.Status(), 0);
        QCOMPARE(&net.Udp(), static_cast<Endpoint*>(&lan));
        QCOMPARE(SearchTargets().size(), std::size_t(1));
        TMainWin win(net.Udp(), seams);
        win.UDPTimer->stop();
        QCOMPARE(Lines(win.EthLstBox), (QStringList{QStringLiteral(" K105_00042,  192.168.1.20,  Serwis"),
                                                    QStringLiteral(" K105_00043,  10.9.8.77,  Serwis")}));
    }
    QVERIFY(seams.errors.isEmpty());
    QVERIFY(SearchTargets().empty());   // the range belonged to that command line
}

void TestNetOptions::withoutOptionsTheEndpointIsTheProgramsOwn()
{
    SimLan lan;
    FakeSeams seams;
    const ProgramNet net(lan, {QStringLiteral("olmconfig")}, seams, "olmconfig");
    QCOMPARE(net.Status(), 0);
    QCOMPARE(&net.Udp(), static_cast<Endpoint*>(&lan));
    QVERIFY(SearchTargets().empty());
    QVERIFY(seams.errors.isEmpty());
}

QTEST_MAIN(TestNetOptions)
#include "tst_netoptions.moc"
