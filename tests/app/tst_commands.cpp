// The device panel and its two commands, "Zapisz", "Raport", the help buttons and shutdown.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "rig.h"

namespace {

const uint32_t kDoors = MakeId(305, 42);
const uint32_t kLift = MakeId(310, 77);

QStringList Entries(const QComboBox* box)
{
    QStringList entries;
    for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
    return entries;
}

// The record of a block as the c command carries it after its kind and index bytes.
std::vector<uint8_t> WritePayload(uint8_t kind, uint8_t index, const std::vector<uint8_t>& block)
{
    std::vector<uint8_t> payload(2 + kRecordLength);
    payload[0] = kind;
    payload[1] = index;
    std::copy(block.begin() + static_cast<long>(kBlockHeader), block.end(), payload.begin() + 2);
    return payload;
}

QByteArray ReadFile(const QString& name)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QByteArray Ansi(const char* utf8) { return QByteArray::fromStdString(Cp1250(utf8)); }

}  // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void devicePanel();
    void deleteInactiveRunsATickThenReadsAgain();
    void failedDeleteHasRunItsTick();
    void readingAfterAnAcknowledgedDeleteFails();
    void replaceSendsTheChosenPair();
    void replaceThatFails();
    void writeLiftThatFails();
    void writeFourDoors();
    void writeTakesTheTypedTime();
    void writeLift();
    void writeStopsAtTheMissingAcknowledgement();
    void writeToAForeignSession();
    void reportOfTheSelectedController();
    void reportCancelled();
    void reportName_data();
    void reportName();
    void standardBoxesOfTheProgram();
    void helpButtonsShowTheirTopics();
    void shutdownClosesOurSessions();
};

void TestCommands::devicePanel()
{
    struct Case {
        const char* name;
        std::vector<DevSpec> devices;
        QStringList lines;
        QStringList pairs;
        bool deleteEnabled;
    };
    const std::vector<Case> cases{
        {"inactive, new and tampered readers",
         {ReaderDev(7, kInactive), ReaderDev(19, kNew), ReaderDev(21, kTamper)},
         {" Kontroler: K105_00042/A3", "    Czytnik: R107_00007/A1,   (nieaktywny)",
          "    Czytnik: R107_00019/A1,   (nowy)", "    Czytnik: R107_00021/A1,   (sabotaż)"},
         {"R107_00007 <-- R107_00019"},
         true},
        {"inactive reader, new keypad: no pair",
         {ReaderDev(7, kInactive), KeypadDev(5, kNew)},
         {" Kontroler: K105_00042/A3", "    Czytnik: R107_00007/A1,   (nieaktywny)",
          " Klawiatura: K112_00005/A1,   (nowy)"},
         {},
         true},
        {"nothing to delete or replace", {ReaderDev(7)}, {" Kontroler: K105_00042/A3", "    Czytnik: R107_00007/A1"}, {}, false},
    };
    for (const Case& c : cases) {
        SimLan lan;
        AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1, c.devices);
        Rig rig(lan);
        TMainWin& w = *rig.win;
        const bool paired = !c.pairs.isEmpty();
        QVERIFY2(rig.seams.errors.isEmpty(), c.name);
        QCOMPARE(w.SelDevBox->title(), QStringLiteral(" K105_00042 "));
        QCOMPARE(Lines(w.DevListBox), c.lines);
        QCOMPARE(w.DelLostBtn->isEnabled(), c.deleteEnabled);
        QCOMPARE(Entries(w.ReplCb), c.pairs);
        QCOMPARE(w.ReplCb->currentIndex(), paired ? 0 : -1);
        for (QWidget* control : {static_cast<QWidget*>(w.ReplCb), static_cast<QWidget*>(w.ReplaceBtn),
                                 static_cast<QWidget*>(w.ReplOldLb), static_cast<QWidget*>(w.ReplNewLb)})
            QVERIFY2(control->isEnabled() == paired, c.name);
        QVERIFY(w.HelpDevBtn->isEnabled());
    }
}

void TestCommands::deleteInactiveRunsATickThenReadsAgain()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2, {ReaderDev(7, kInactive), ReaderDev(19)});
    Rig rig(lan);
    TMainWin& w = *rig.win;
    w.doorConfig.SetDoorName(0, "Niezapisane");

    const std::size_t from = peer.log.size();
    w.DelLostBtnClick();
    // The tick (poll, quiet list, keep-alive), then the session check and F, then the reading.
    QCOMPARE(Letters(peer, from), QByteArray("ODOSOFODOCC"));
    QVERIFY(Requests(peer, 'F', from).at(0).payload.empty());
    QVERIFY(rig.seams.errors.isEmpty());
    QCOMPARE(Lines(w.DevListBox), (QStringList{QStringLiteral(" Kontroler: K105_00042/A3"),
                                               QStringLiteral("    Czytnik: R107_00019/A1")}));
    QVERIFY(!w.DelLostBtn->isEnabled());
    QCOMPARE(w.doorConfig.DoorName(0), std::string("Drzwi 1"));   // unsaved edits are gone
}

void TestCommands::failedDeleteHasRunItsTick()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1, {ReaderDev(7, kInactive)});
    Rig rig(lan);
    TMainWin& w = *rig.win;
    peer.mutateReply = [](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'F') frame[10] ^= 0x20;
    };
    const std::size_t from = peer.log.size();
    w.DelLostBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("ODOSOFFF"));
    QCOMPARE(rig.seams.errors, QStringList{ErrText("K105_00042", "Serwis", 6, 'F', "Brak odpowiedzi na rozkaz.")});
    // The command failed: the model and the page are as they were.
    QCOMPARE(w.DevListBox->count(), 2);
    QVERIFY(!w.CtrlTypeSet->isHidden());
}

void TestCommands::readingAfterAnAcknowledgedDeleteFails()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2, {ReaderDev(7, kInactive)});
    Rig rig(lan);
    TMainWin& w = *rig.win;
    bool deleted = false;
    peer.mutateReply = [&deleted](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'F') deleted = true;
        if (deleted && req.letter == 'C') frame[10] ^= 0x20;
    };
    w.DelLostBtnClick();
    QCOMPARE(rig.seams.errors, QStringList{ErrText("K105_00042", "Serwis", 6, 'C', "Brak odpowiedzi na rozkaz.")});
    // The half-read configuration is neither shown nor written.
    QVERIFY(w.CtrlTypeSet->isHidden());
    QCOMPARE(w.DevListBox->count(), 0);
    QCOMPARE(w.SelDevBox->title(), QString());
    const std::size_t from = peer.log.size();
    w.WrDCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray());
}

void TestCommands::replaceSendsTheChosenPair()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1,
                                             {ReaderDev(7, kInactive), ReaderDev(19, kNew), ReaderDev(20, kNew)});
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QCOMPARE(Entries(w.ReplCb), (QStringList{QStringLiteral("R107_00007 <-- R107_00019"),
                                             QStringLiteral("R107_00007 <-- R107_00020")}));
    w.ReplCb->setCurrentIndex(1);

    const std::size_t from = peer.log.size();
    w.ReplaceBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("ORODOC"));
    // Low byte the inactive device's index, high byte its replacement's.
    QVERIFY((Requests(peer, 'R', from).at(0).payload == std::vector<uint8_t>{1, 3}));
    QVERIFY(rig.seams.errors.isEmpty());
    // The list was read again: the inactive reader is gone, no pair is left.
    QVERIFY(!Lines(w.DevListBox).join('|').contains(QStringLiteral("nieaktywny")));
    QCOMPARE(w.ReplCb->count(), 0);
    QVERIFY(!w.ReplaceBtn->isEnabled());
}

void TestCommands::replaceThatFails()
{
    // Not acknowledged (a wrong code on the reply): kind 4 with the letter R, nothing read after it,
    // the panel and the page as they were.
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1,
                                             {ReaderDev(7, kInactive), ReaderDev(19, kNew)});
    Rig rig(lan);
    TMainWin& w = *rig.win;
    peer.mutateReply = [](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'R') frame.back() ^= 0xFF;
    };
    const std::size_t from = peer.log.size();
    w.ReplaceBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("OR"));
    QCOMPARE(rig.seams.errors, QStringList{ErrText("K105_00042", "Serwis", 4, 'R', "Błąd podpisu ramki.")});
    QCOMPARE(w.DevListBox->count(), 3);
    QCOMPARE(w.ReplCb->count(), 1);
    QVERIFY(!w.CtrlTypeSet->isHidden());

    // A controller that stopped answering: kind 1, and nothing but the polls is sent.
    peer.mutateReply = nullptr;
    peer.faults.silent = true;
    const std::size_t silentFrom = peer.log.size();
    w.ReplaceBtnClick();
    QCOMPARE(Letters(peer, silentFrom), QByteArray("OOO"));
    QCOMPARE(rig.seams.errors.size(), 2);
    QVERIFY(rig.seams.errors[1].contains(QStringLiteral("Błąd nr 1: Urządzenie nie odpowiada.")));
}

void TestCommands::writeLiftThatFails()
{
    SimLan lan;
    ControllerPeer& peer = AddLiftController(lan, Ip(192, 168, 1, 23), kLift, kSerwis);
    const std::vector<uint8_t> block = peer.blocks[0];
    Rig rig(lan);
    peer.faults.noAckBlock = 0;
    const std::size_t from = peer.log.size();
    rig.win->WrLCfgBtn->click();
    QCOMPARE(Letters(peer, from), QByteArray("Oc"));
    QCOMPARE(rig.seams.errors, QStringList{ErrText("K110_00077", "Serwis", 7, 'c', "Brak potwierdzenia wysłanego rozkazu.")});
    QVERIFY(peer.blocks[0] == block);
    // The model is unchanged: pressing again sends the same record again.
    peer.faults.noAckBlock = -1;
    rig.win->WrLCfgBtn->click();
    QCOMPARE(rig.seams.errors.size(), 1);
    QVERIFY(Requests(peer, 'c', from).at(1).payload == WritePayload(2, 0, block));
}

void TestCommands::writeFourDoors()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 4);
    const auto blocks = peer.blocks;
    Rig rig(lan);
    const std::size_t from = peer.log.size();
    rig.win->WrDCfgBtn->click();

    QCOMPARE(Letters(peer, from), QByteArray("Occcc"));
    const std::vector<PeerRequest> writes = Requests(peer, 'c', from);
    for (std::size_t i = 0; i < writes.size(); ++i) {
        QCOMPARE(writes[i].counter, uint16_t(writes[0].counter + i));
        QVERIFY2(writes[i].payload == WritePayload(1, uint8_t(i), blocks[i]), qPrintable(QString::number(i)));
    }
    QVERIFY(rig.seams.errors.isEmpty());
    // Nothing is read back; pressing again sends the same blocks again.
    rig.win->WrDCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("OccccOcccc"));
    QVERIFY(Requests(peer, 'c', from).at(5).payload == writes[1].payload);
}

void TestCommands::writeTakesTheTypedTime()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kInstalacja, 1);
    Rig rig(lan);
    auto* lockTime = rig.win->findChild<QLineEdit*>(QStringLiteral("RygTimEd"));
    QVERIFY(lockTime != nullptr);
    QVERIFY(lockTime->isEnabled());
    lockTime->selectAll();
    QTest::keyClicks(lockTime, QStringLiteral("2,5"));   // typed, the field not left yet

    const std::size_t from = peer.log.size();
    rig.win->WrDCfgBtn->click();
    const std::vector<PeerRequest> writes = Requests(peer, 'c', from);
    QCOMPARE(writes.size(), std::size_t{1});
    QCOMPARE(writes[0].payload.at(2 + 44), uint8_t{5});   // parameter byte 4, in half seconds
}

void TestCommands::writeLift()
{
    SimLan lan;
    ControllerPeer& peer = AddLiftController(lan, Ip(192, 168, 1, 23), kLift, kSerwis);
    const std::vector<uint8_t> block = peer.blocks[0];
    Rig rig(lan);
    QVERIFY(!rig.win->CtrlTypeSet->isHidden());
    const std::size_t from = peer.log.size();
    rig.win->WrDCfgBtnClick();   // the door page's button has nothing to write for a lift
    rig.win->WrLCfgBtn->click();
    QCOMPARE(Letters(peer, from), QByteArray("Oc"));
    QVERIFY(Requests(peer, 'c', from).at(0).payload == WritePayload(2, 0, block));
    QVERIFY(rig.seams.errors.isEmpty());
}

void TestCommands::writeStopsAtTheMissingAcknowledgement()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 4);
    Rig rig(lan);
    peer.faults.noAckBlock = 2;
    std::size_t from = peer.log.size();
    rig.win->WrDCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("Occc"));
    QCOMPARE(rig.seams.errors,
             QStringList{ErrText("K105_00042", "Serwis", 7, 'c', "Brak potwierdzenia wysłanego rozkazu.")});
    // Again from door 0.
    from = peer.log.size();
    rig.win->WrDCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("Occc"));
    QCOMPARE(Requests(peer, 'c', from).at(0).payload.at(1), uint8_t{0});
}

void TestCommands::writeToAForeignSession()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2);
    Rig rig(lan);
    // The controller forgot our session, and another client took it.
    peer.DropSession();
    QVERIFY(rig.win->udpDevs[0].PollStatus());
    peer.faults.foreignSession = true;
    const std::size_t from = peer.log.size();
    rig.win->WrDCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray("O"));
    QCOMPARE(rig.seams.errors.size(), 1);
    QVERIFY(rig.seams.errors[0].startsWith(QStringLiteral("K105_00042, tryb: Serwis.\n\nBłąd nr 2: Kontroler ma obcą sesję.")));
}

void TestCommands::reportOfTheSelectedController()
{
    SimLan lan;
    AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2, {ReaderDev(7)});
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("raport.txt"));
    rig.seams.saveAnswer = file;

    // While the location dialog is open, a controller that sorts first turns up and a tick takes
    // it in: the report still covers the controller that was selected.
    rig.seams.onExec = [&](QDialog& dialog) {
        auto* lok = qobject_cast<TLokalizDlg*>(&dialog);
        if (lok == nullptr) return int(QDialog::Rejected);
        lok->LokEdit->setText(QStringLiteral("Budynek A, parter ☃"));
        lan.Inject(Ip(192, 168, 1, 2), DiscoveryReply(MakeId(305, 1), kSerwis), lan.NowMs());
        w.UDPTimerTimer();
        return int(QDialog::Accepted);
    };
    w.RapCfgBtn->click();

    QCOMPARE(rig.seams.dialogs, QStringList{QStringLiteral("LokalizDlg")});
    QCOMPARE(w.udpDevs.selected, 1);
    QCOMPARE(rig.seams.suggestedNames.size(), 1);
    QVERIFY2(QRegularExpression(QStringLiteral("^2024(.)05\\g{1}07 K105_00042$")).match(rig.seams.suggestedNames[0]).hasMatch(),
             qPrintable(rig.seams.suggestedNames[0]));
    const QByteArray head = Ansi("Raport konfiguracji przejść kontrolera\r\n"
                                 "======================================\r\n"
                                 "\r\n"
                                 "   Kontroler: K105_00042\r\n"
                                 " Lokalizacja: Budynek A, parter ?\r\n"
                                 "        Data: 2024-05-07\r\n"
                                 "\r\n"
                                 "  Urządzenia: K105_00042/A3, R107_00007/A1.\r\n");
    const QByteArray content = ReadFile(file);
    QCOMPARE(content.left(head.size()), head);
    QVERIFY(content.contains("Drzwi 2"));
    QVERIFY(content.endsWith("\r\n"));
    QVERIFY(rig.seams.errors.isEmpty());

    // The dialog keeps its text; the same name is overwritten, not appended to.
    rig.seams.onExec = [](QDialog&) { return int(QDialog::Accepted); };
    w.RapCfgBtnClick();
    QCOMPARE(ReadFile(file), content);
}

void TestCommands::reportCancelled()
{
    SimLan lan;
    AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1);
    Rig rig(lan);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("raport.txt"));

    rig.seams.saveAnswer = file;   // the location dialog is cancelled (the default answer)
    rig.win->RapCfgBtnClick();
    QCOMPARE(rig.seams.dialogs, QStringList{QStringLiteral("LokalizDlg")});
    QVERIFY(rig.seams.suggestedNames.isEmpty());
    QVERIFY(!QFile::exists(file));

    rig.seams.onExec = [](QDialog&) { return int(QDialog::Accepted); };
    rig.seams.saveAnswer.reset();   // the save dialog is cancelled
    rig.win->RapCfgBtnClick();
    QCOMPARE(rig.seams.suggestedNames.size(), 1);
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestCommands::reportName_data()
{
    QTest::addColumn<QString>("shortFormat");
    QTest::addColumn<QString>("name");
    QTest::newRow("Polish") << QStringLiteral("dd.MM.yyyy") << QStringLiteral("2024.05.07 K105_00042");
    QTest::newRow("ISO") << QStringLiteral("yyyy-MM-dd") << QStringLiteral("2024-05-07 K105_00042");
    // A slash would make folders of the name: the dash stands in.
    QTest::newRow("slash") << QStringLiteral("M/d/yy") << QStringLiteral("2024-05-07 K105_00042");
    QTest::newRow("backslash") << QStringLiteral("dd\\MM\\yyyy") << QStringLiteral("2024-05-07 K105_00042");
    QTest::newRow("no separator") << QStringLiteral("d MMM yyyy") << QStringLiteral("2024-05-07 K105_00042");
}

void TestCommands::reportName()
{
    QFETCH(QString, shortFormat);
    QFETCH(QString, name);
    QCOMPARE(TMainWin::SuggestedReportName(QDate(2024, 5, 7), TMainWin::DateSeparator(shortFormat), kDoors), name);
}

void TestCommands::standardBoxesOfTheProgram()
{
    QtSeams seams;

    // The error box: the error icon, the text, one OK button.
    QString shownText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    WhenShown<QMessageBox>([&](QMessageBox& box) {
        shownText = box.text();
        icon = box.icon();
        buttons = int(box.buttons().size());
        box.accept();
    });
    seams.ShowError(nullptr, QStringLiteral("Błąd nr 6"));
    QCOMPARE(shownText, QStringLiteral("Błąd nr 6"));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, 1);

    // The report's save dialog starts in the working directory with the suggested name and
    // offers the one file type by its description; the name gets ".txt".
    QTemporaryDir dir;
    const QString home = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QString type, name, folder;
    const auto look = [&](QFileDialog& dialog) {
        if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) type = types->currentText();
        if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name = edit->text();
        folder = dialog.directory().absolutePath();
    };
    WhenShown<QFileDialog>([&](QFileDialog& dialog) {
        look(dialog);
        static_cast<QDialog&>(dialog).accept();   // QFileDialog's own accept takes the typed name
    });
    const std::optional<QString> chosen = seams.SaveFileName(nullptr, QStringLiteral("2024-05-07 K105_00042"));
    WhenShown<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
    const std::optional<QString> cancelled = seams.SaveFileName(nullptr, QStringLiteral("x"));
    QVERIFY(QDir::setCurrent(home));

    QCOMPARE(type, QStringLiteral("Konfiguracja kontrolera"));
    QCOMPARE(name, QStringLiteral("2024-05-07 K105_00042"));
    QCOMPARE(QFileInfo(folder).canonicalFilePath(), QFileInfo(dir.path()).canonicalFilePath());
    QVERIFY(chosen.has_value());
    QCOMPARE(QFileInfo(*chosen).fileName(), QStringLiteral("2024-05-07 K105_00042.txt"));
    QCOMPARE(QFileInfo(*chosen).absoluteDir().canonicalPath(), QFileInfo(dir.path()).canonicalFilePath());
    QVERIFY(!cancelled.has_value());
}

void TestCommands::helpButtonsShowTheirTopics()
{
    SimLan lan;
    AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QList<int> shown;
    QStringList captions;
    rig.seams.onExec = [&](QDialog&) {
        shown << rig.help.currentTopic;
        captions << rig.help.windowTitle();
        return int(QDialog::Rejected);
    };
    const std::size_t sent = lan.sent.size();
    w.HelpEthBtn->click();
    w.HelpDevBtn->click();
    w.HelpDoorBtn->click();
    QCOMPARE(shown, (QList<int>{0, 1, 2}));
    QCOMPARE(captions, (QStringList{QStringLiteral("Okno Ethernet"), QStringLiteral("Okno kontrolera"),
                                    QStringLiteral("Okno Przejścia")}));
    QCOMPARE(rig.seams.dialogs, (QStringList{QStringLiteral("HelpWin"), QStringLiteral("HelpWin"), QStringLiteral("HelpWin")}));
    QCOMPARE(lan.sent.size(), sent);
}

void TestCommands::shutdownClosesOurSessions()
{
    SimLan lan;
    const uint32_t a = MakeId(305, 1), b = MakeId(305, 2), locked = MakeId(305, 3), lost = MakeId(305, 4),
                   unvisited = MakeId(305, 5);
    ControllerPeer& pa = AddDoorController(lan, Ip(192, 168, 1, 21), a, kSerwis, 1);
    ControllerPeer& pb = AddDoorController(lan, Ip(192, 168, 1, 22), b, kInstalacja, 1);
    ControllerPeer& pl = AddDoorController(lan, Ip(192, 168, 1, 23), locked, kBlokada, 1);
    ControllerPeer& pd = AddDoorController(lan, Ip(192, 168, 1, 24), lost, kSerwis, 1);
    ControllerPeer& pu = AddDoorController(lan, Ip(192, 168, 1, 25), unvisited, kSerwis, 1);
    Rig rig(lan);
    rig.Select(b);
    rig.Select(lost);
    rig.Select(locked);
    pd.faults.silent = true;   // still marked reachable: its close is tried, and fails quietly

    std::vector<std::size_t> from;
    for (ControllerPeer* p : {&pa, &pb, &pl, &pd, &pu}) from.push_back(p->log.size());
    const int errors = int(rig.seams.errors.size());
    rig.win.reset();

    QCOMPARE(Letters(pa, from[0]), QByteArray("Os"));
    QCOMPARE(Letters(pb, from[1]), QByteArray("Os"));
    QCOMPARE(Letters(pl, from[2]), QByteArray());
    QCOMPARE(Letters(pd, from[3]), QByteArray("OOO"));
    QCOMPARE(Letters(pu, from[4]), QByteArray());
    QCOMPARE(int(rig.seams.errors.size()), errors);
    QVERIFY(!pa.HasSession(lan.NowMs()));
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
