// "Raport" on a Polish system: the real save dialog, the ".txt" the file always gets, the reports
// that cannot be written, and a door that was not read.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>

#include "editors/editors.h"
#include "rig.h"

namespace {

const uint32_t kDoors = MakeId(305, 42);

QByteArray ReadFile(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// Runs the test with the working directory in a fresh folder, as the dialog opens there.
class InFolder {
public:
    InFolder() : home_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~InFolder() { QDir::setCurrent(home_); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;
    QString Path(const QString& name) const { return dir_.filePath(name); }
    QStringList Files() const { return QDir(dir_.path()).entryList(QDir::Files | QDir::System); }

private:
    QTemporaryDir dir_;
    QString home_;
};

}  // namespace

class TestReport : public QObject {
    Q_OBJECT
private slots:
    void polishDateNameGetsItsTxt();
    void suffix_data();
    void suffix();
    void reportThatCannotBeWrittenIsShown();
    void configurationDroppedWhileTheDialogsWereOpen();
    void doorThatWasNotReadIsNeverOverwritten();
    void liftThatWasNotReadIsNeverOverwritten();
};

void TestReport::polishDateNameGetsItsTxt()
{
    // Under pl_PL the short date format is d.MM.yyyy: the suggested name holds dots, and Qt's dialog
    // adds its default suffix only to names without one.
    QCOMPARE(QLocale::system().name(), QStringLiteral("pl_PL"));
    SimLan lan;
    AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1);
    Rig rig(lan);
    InFolder folder;
    rig.seams.onExec = [](QDialog&) { return int(QDialog::Accepted); };
    rig.seams.onSave = [](QWidget* parent, const QString& suggested) { return QtSeams().SaveFileName(parent, suggested); };

    QString offered;
    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
        if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) offered = edit->text();
        static_cast<QDialog&>(dialog).accept();   // the user keeps the suggested name
    });
    rig.win->RapCfgBtnClick();
    QCOMPARE(offered, QStringLiteral("2024.05.07 K105_00042"));
    QCOMPARE(folder.Files(), QStringList{QStringLiteral("2024.05.07 K105_00042.txt")});
    QVERIFY(ReadFile(folder.Path(QStringLiteral("2024.05.07 K105_00042.txt"))).startsWith("Raport konfiguracji"));
    QVERIFY(rig.seams.errors.isEmpty());

    // A name the user types with an extension of its own keeps it.
    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
        if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) edit->setText(QStringLiteral("hala.log"));
        static_cast<QDialog&>(dialog).accept();
    });
    rig.win->RapCfgBtnClick();
    QVERIFY(folder.Files().contains(QStringLiteral("hala.log")));
    QCOMPARE(folder.Files().size(), 2);
}

void TestReport::suffix_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("saved");
    QTest::newRow("suggested, Polish date") << "/r/2024.05.07 K105_00042" << "/r/2024.05.07 K105_00042.txt";
    QTest::newRow("suggested, ISO date") << "/r/2024-05-07 K105_00042" << "/r/2024-05-07 K105_00042.txt";
    QTest::newRow("already .txt") << "/r/2024.05.07 K105_00042.txt" << "/r/2024.05.07 K105_00042.txt";
    QTest::newRow("typed extension") << "/r/raport.log" << "/r/raport.log";
    QTest::newRow("date at the end") << "/r/raport 2024.05.07" << "/r/raport 2024.05.07.txt";
    QTest::newRow("trailing dot") << "/r/raport." << "/r/raport.txt";
    QTest::newRow("dot in the folder only") << "/r.d/raport" << "/r.d/raport.txt";
}

void TestReport::suffix()
{
    QFETCH(QString, chosen);
    QFETCH(QString, saved);
    QCOMPARE(WithReportSuffix(chosen), saved);
}

void TestReport::reportThatCannotBeWrittenIsShown()
{
    SimLan lan;
    AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1);
    Rig rig(lan);
    InFolder folder;
    rig.seams.onExec = [](QDialog&) { return int(QDialog::Accepted); };

    // A folder that does not exist.
    const QString missing = folder.Path(QStringLiteral("brak/raport.txt"));
    rig.seams.saveAnswer = missing;
    rig.win->RapCfgBtnClick();
    QCOMPARE(rig.seams.errors, QStringList{QStringLiteral("Nie można zapisać raportu do pliku\n%1\n\n%2")
                                               .arg(QDir::toNativeSeparators(missing),
                                                    QString::fromLocal8Bit(std::strerror(ENOENT)))});

    // A full disk: the file opens, the writing fails. /dev/full stands in for the disk.
    const QString full = folder.Path(QStringLiteral("pełny.txt"));
    QVERIFY(QFile::link(QStringLiteral("/dev/full"), full));
    rig.seams.saveAnswer = full;
    rig.win->RapCfgBtnClick();
    QCOMPARE(rig.seams.errors.size(), 2);
    QVERIFY2(rig.seams.errors[1].endsWith(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(rig.seams.errors[1]));

    // Success still shows nothing.
    rig.seams.saveAnswer = folder.Path(QStringLiteral("dobry.txt"));
    rig.win->RapCfgBtnClick();
    QCOMPARE(rig.seams.errors.size(), 2);
    QVERIFY(QFile::exists(folder.Path(QStringLiteral("dobry.txt"))));
}

void TestReport::configurationDroppedWhileTheDialogsWereOpen()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    InFolder folder;
    rig.seams.saveAnswer = folder.Path(QStringLiteral("raport.txt"));
    // While the location dialog is open, the controller's device list turns invalid and a tick
    // drops the configuration.
    rig.seams.onExec = [&](QDialog&) {
        peer.deviceList = DeviceListBlock(1, 0, {ControllerDev(kDoors), ReaderDev(5)});
        w.UDPTimerTimer();
        return int(QDialog::Accepted);
    };
    w.RapCfgBtnClick();
    QVERIFY(w.CtrlTypeSet->isHidden());
    QCOMPARE(rig.seams.errors.size(), 1);
    QVERIFY2(rig.seams.errors[0].startsWith(QStringLiteral("Raportu nie zapisano")), qPrintable(rig.seams.errors[0]));
    QVERIFY(folder.Files().isEmpty());
}

void TestReport::doorThatWasNotReadIsNeverOverwritten()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 4);
    SetBlockSlot(peer.blocks[2], 0, 0x0003);
    peer.blocks[2][1] = 7;   // door 3's block comes with another header
    const std::vector<uint8_t> stored = peer.blocks[2];
    Rig rig(lan);
    TMainWin& w = *rig.win;

    // The user is told once which door, and its tab carries a sign that says why.
    QCOMPARE(rig.seams.warnings.size(), 1);
    QVERIFY2(rig.seams.warnings[0].startsWith(QStringLiteral("Nie udało się odczytać konfiguracji przejścia 3 kontrolera K105_00042")),
             qPrintable(rig.seams.warnings[0]));
    QTabBar* tabs = w.DoorPage->DoorTc();
    QCOMPARE(tabs->tabText(2), QStringLiteral("3"));
    for (int tab = 0; tab < 4; ++tab) {
        QCOMPARE(tabs->tabIcon(tab).isNull(), tab != 2);
        QCOMPARE(tabs->tabToolTip(tab).isEmpty(), tab != 2);
    }

    // Ticks, and a change on the bus that refills the panel and the page, tell nothing more.
    for (int i = 0; i < 3; ++i) w.UDPTimerTimer();
    peer.deviceList = DeviceListBlock(1, 4, {ControllerDev(kDoors), ReaderDev(5)});
    w.UDPTimerTimer();
    QCOMPARE(w.DevListBox->count(), 2);
    QCOMPARE(rig.seams.warnings.size(), 1);
    QVERIFY(!tabs->tabIcon(2).isNull());

    // "Zapisz" writes the other doors; door 3's stored block is byte for byte what it was.
    std::size_t from = peer.log.size();
    w.WrDCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("Occc"));
    QList<int> indexes;
    for (const PeerRequest& r : Requests(peer, 'c', from)) indexes << r.payload[1];
    QCOMPARE(indexes, (QList<int>{0, 1, 3}));
    QVERIFY(peer.blocks[2] == stored);
    QVERIFY(rig.seams.errors.isEmpty());

    // The report shows it as not read, not as a door without resources.
    InFolder folder;
    rig.seams.onExec = [](QDialog&) { return int(QDialog::Accepted); };
    rig.seams.saveAnswer = folder.Path(QStringLiteral("raport.txt"));
    w.RapCfgBtnClick();
    const QByteArray report = ReadFile(folder.Path(QStringLiteral("raport.txt")));
    QVERIFY(report.contains("Nazwa:   Drzwi 1               Drzwi 2               (nie odczytano)       Drzwi 4\r\n"));
    QVERIFY(report.contains("Rygiel:   K105_00042:Out2             ---                   ???                   ---          \r\n"));

    // Once the user edits door 3 on its page, the door is the user's and is written.
    tabs->setCurrentIndex(2);
    auto* name = w.DoorPage->findChild<QLineEdit*>(QStringLiteral("DoorNameEd"));
    QTest::keyClicks(name, QStringLiteral("Nowe"));
    from = peer.log.size();
    w.WrDCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("Occcc"));
    QCOMPARE(Requests(peer, 'c', from)[2].payload[1], uint8_t{2});

    // A new selection reads it anew, and tells again.
    rig.Select(kDoors);
    QCOMPARE(rig.seams.warnings.size(), 2);
}

void TestReport::liftThatWasNotReadIsNeverOverwritten()
{
    SimLan lan;
    const uint32_t lift = MakeId(310, 77);
    ControllerPeer& peer = AddLiftController(lan, Ip(192, 168, 1, 21), lift, kSerwis);
    peer.blocks[0][1] = 8;   // not 0x88: not a lift block
    const std::vector<uint8_t> stored = peer.blocks[0];
    Rig rig(lan);
    TMainWin& w = *rig.win;

    QCOMPARE(rig.seams.warnings.size(), 1);
    QVERIFY(rig.seams.warnings[0].startsWith(QStringLiteral("Nie udało się odczytać konfiguracji windy kontrolera K110_00077")));
    QCOMPARE(w.CtrlTypeSet->tabText(1), QStringLiteral("Winda"));
    QVERIFY(!w.CtrlTypeSet->tabIcon(1).isNull());

    const std::size_t from = peer.log.size();
    w.WrLCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray());
    QVERIFY(peer.blocks[0] == stored);
    QVERIFY(rig.seams.errors.isEmpty());
}

int main(int argc, char** argv)
{
    // A Polish system: the locale's short date format separates with dots.
    qputenv("LC_ALL", "pl_PL.UTF-8");
    qputenv("LANG", "pl_PL.UTF-8");
    QApplication app(argc, argv);
    TestReport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report.moc"
