// Selecting a controller: the poll, the readings, the page area, and the failures.
#include <QApplication>

#include "editors/editors.h"
#include "rig.h"

namespace {

const uint32_t kTerminal = MakeId(112, 900);
const uint32_t kOneDoor = MakeId(305, 101);
const uint32_t kEightDoors = MakeId(305, 108);
const uint32_t kLocked = MakeId(305, 200);
const uint32_t kWebConfig = MakeId(305, 250);
const uint32_t kSilent = MakeId(305, 300);
const uint32_t kForeign = MakeId(305, 400);
const uint32_t kLift = MakeId(310, 77);

const char* const kKind2 = "Kontroler ma obcą sesję.\n\nMożliwe przyczyny:\n - kontroler połączony z inną kopią "
                           "programu,\n - kontroler pamięta sesję z poprzednim wywołaniem programu.\nW tym drugim "
                           "przypadku należy poczekać około 30s.";
const char* const kKind8 = "Kontroler nie pozwala odczytać ustawień przejść.\nUstaw go w tryb 'Service'";

// Every kind of device a selection meets, on one network.
struct Network {
    Network()
    {
        lan.AddPeer(Ip(192, 168, 1, 30), kTerminal, kSerwis);
        AddDoorController(lan, Ip(192, 168, 1, 31), kOneDoor, kInstalacja, 1);
        AddDoorController(lan, Ip(192, 168, 1, 32), kEightDoors, kSerwis, 8, {ReaderDev(7, kInactive), ReaderDev(19, kNew)});
        AddDoorController(lan, Ip(192, 168, 1, 33), kLocked, kBlokada, 2);
        AddDoorController(lan, Ip(192, 168, 1, 34), kWebConfig, 1, 2);
        AddDoorController(lan, Ip(192, 168, 1, 35), kSilent, kSerwis, 2);
        AddDoorController(lan, Ip(192, 168, 1, 36), kForeign, kSerwis, 2);
        AddLiftController(lan, Ip(192, 168, 1, 37), kLift, kSerwis);
    }
    SimLan lan;
};

QStringList Entries(const QComboBox* box)
{
    QStringList entries;
    for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
    return entries;
}

}  // namespace

class TestSelection : public QObject {
    Q_OBJECT
private slots:
    void selection_data();
    void selection();
    void staleModelNeverServesAnotherController();
    void readingThatStopsHalfwayIsNotShown();
    void malformedDoorBlockShowsTheDoorUnassigned();
    void mouseAndKeyboardSelectOnce();
    void waitCursorWhileSelecting();
};

void TestSelection::selection_data()
{
    QTest::addColumn<uint32_t>("id");
    QTest::addColumn<QByteArray>("letters");   // sent to the selected controller
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("sheet");            // -1 page area hidden, 0 doors, 1 lift
    QTest::addColumn<QStringList>("tabs");
    QTest::addColumn<QStringList>("airlocks");

    const QString none;
    QTest::newRow("terminal: polled, nothing read") << kTerminal << QByteArray("O") << none << -1 << QStringList()
                                                    << QStringList();
    QTest::newRow("one door") << kOneDoor << QByteArray("OOKDOC") << none << 0 << QStringList{"1"}
                              << QStringList{"  -----"};
    QTest::newRow("eight doors") << kEightDoors << QByteArray("OOKDOCCCCCCCC") << none << 0
                                 << QStringList{"1", "2", "3", "4", "5", "6", "7", "8"}
                                 << QStringList{"  -----", "Śluza 1", "Śluza 2", "Śluza 3", "Śluza 4"};
    QTest::newRow("lift") << kLift << QByteArray("OOKDOC") << none << 1 << QStringList() << QStringList();
    QTest::newRow("Blokada: kind 8") << kLocked << QByteArray("O") << ErrText("K105_00200", "Blokada", 8, 0, kKind8)
                                     << -1 << QStringList() << QStringList();
    QTest::newRow("Konfiguracja: kind 8") << kWebConfig << QByteArray("O")
                                          << ErrText("K105_00250", "Konfiguracja", 8, 0, kKind8) << -1
                                          << QStringList() << QStringList();
    QTest::newRow("silent: kind 1, three attempts")
        << kSilent << QByteArray("OOO") << ErrText("K105_00300", "Niedostępny", 1, 0, "Urządzenie nie odpowiada.")
        << -1 << QStringList() << QStringList();
    QTest::newRow("foreign session: kind 2, no K") << kForeign << QByteArray("OO")
                                                   << ErrText("K105_00400", "Serwis", 2, 0, kKind2) << -1
                                                   << QStringList() << QStringList();
}

void TestSelection::selection()
{
    QFETCH(uint32_t, id);
    QFETCH(QByteArray, letters);
    QFETCH(QString, error);
    QFETCH(int, sheet);
    QFETCH(QStringList, tabs);
    QFETCH(QStringList, airlocks);

    Network net;
    Rig rig(net.lan);
    TMainWin& w = *rig.win;
    QCOMPARE(rig.seams.errors, QStringList());   // the terminal, on line 0, was selected quietly
    net.lan.Peer(kSilent)->faults.silent = true;
    net.lan.Peer(kForeign)->faults.foreignSession = true;

    // A controller with a device list and a configuration is shown first, so that the selection
    // under test starts from a full model.
    if (id != kEightDoors) {
        rig.Select(kEightDoors);
        QCOMPARE(w.DevListBox->count(), 3);
    }
    const int line = rig.Line(id);
    const QString lineBefore = w.EthLstBox->item(line)->text();
    ControllerPeer& peer = *net.lan.Peer(id);
    const std::size_t from = peer.log.size();
    rig.Select(line);

    QCOMPARE(w.udpDevs.selected, line);
    QCOMPARE(Letters(peer, from), letters);
    QCOMPARE(rig.seams.errors, error.isEmpty() ? QStringList() : QStringList{error});
    if (id == kSilent) {
        // The failed poll shows in the line at once, and stays there through later ticks.
        QString unreachable = lineBefore;
        unreachable.replace(QStringLiteral("Serwis"), QStringLiteral("Niedostępny"));
        QCOMPARE(w.EthLstBox->item(line)->text(), unreachable);
        w.UDPTimerTimer();
        QCOMPARE(w.EthLstBox->item(line)->text(), unreachable);
    }
    QCOMPARE(!w.CtrlTypeSet->isHidden(), sheet >= 0);
    if (sheet < 0) {
        // Nothing of the controller shown before stays in the panel.
        QCOMPARE(w.DevListBox->count(), 0);
        QCOMPARE(w.SelDevBox->title(), QString());
        QVERIFY(!w.DelLostBtn->isEnabled());
        QVERIFY(!w.ReplaceBtn->isEnabled());
        QCOMPARE(w.ReplCb->count(), 0);
        return;
    }
    QCOMPARE(w.CtrlTypeSet->isTabVisible(0), sheet == 0);
    QCOMPARE(w.CtrlTypeSet->isTabVisible(1), sheet == 1);
    QCOMPARE(w.CtrlTypeSet->currentIndex(), sheet);
    QVERIFY(w.DevListBox->count() > 0);
    if (sheet == 1) {
        QVERIFY((Requests(peer, 'C', from).at(0).payload == std::vector<uint8_t>{2, 0}));
        return;
    }
    QStringList tabTexts;
    for (int i = 0; i < w.DoorPage->DoorTc()->count(); ++i) tabTexts << w.DoorPage->DoorTc()->tabText(i);
    QCOMPARE(tabTexts, tabs);
    QCOMPARE(Entries(w.DoorPage->SluzaSel()), airlocks);
}

void TestSelection::staleModelNeverServesAnotherController()
{
    Network net;
    Rig rig(net.lan);
    TMainWin& w = *rig.win;
    rig.Select(kEightDoors);
    QVERIFY(w.ReplaceBtn->isEnabled());
    QVERIFY(w.DelLostBtn->isEnabled());

    ControllerPeer& eight = *net.lan.Peer(kEightDoors);
    for (const uint32_t id : {kSilent, kLocked, kTerminal}) {
        net.lan.Peer(kSilent)->faults.silent = true;
        rig.Select(id);
        const std::size_t eightFrom = eight.log.size();
        ControllerPeer& peer = *net.lan.Peer(id);
        const std::size_t from = peer.log.size();
        w.WrDCfgBtnClick();
        w.WrLCfgBtnClick();
        w.ReplaceBtnClick();
        w.RapCfgBtnClick();
        QCOMPARE(Letters(peer, from), QByteArray());
        QCOMPARE(Letters(eight, eightFrom), QByteArray());
        QVERIFY(rig.seams.suggestedNames.isEmpty());
        QVERIFY(rig.seams.dialogs.isEmpty());
    }
}

void TestSelection::readingThatStopsHalfwayIsNotShown()
{
    SimLan lan;
    const uint32_t id = MakeId(305, 42);
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), id, kSerwis, 4);
    // Door 2's block never comes back.
    peer.mutateReply = [](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'C' && req.payload.size() == 2 && req.payload[1] == 2) frame[10] ^= 0x20;
    };
    Rig rig(lan);
    TMainWin& w = *rig.win;

    QCOMPARE(rig.seams.errors, QStringList{ErrText("K105_00042", "Serwis", 6, 'C', "Brak odpowiedzi na rozkaz.")});
    QCOMPARE(Letters(peer), QByteArray("OTOOKDOCCCCC"));   // doors 0, 1, then door 2 three times
    QVERIFY(w.CtrlTypeSet->isHidden());
    QCOMPARE(w.DevListBox->count(), 0);
    // Doors 2 and 3 were never read: nothing is written over them.
    const std::size_t from = peer.log.size();
    w.WrDCfgBtnClick();
    QCOMPARE(Letters(peer, from), QByteArray());
}

void TestSelection::malformedDoorBlockShowsTheDoorUnassigned()
{
    SimLan lan;
    const uint32_t eightId = MakeId(305, 10);
    const uint32_t fourId = MakeId(305, 20);
    ControllerPeer& eight = AddDoorController(lan, Ip(192, 168, 1, 20), eightId, kSerwis, 8);
    SetBlockSlot(eight.blocks[2], 0, 0x0002);
    ControllerPeer& four = AddDoorController(lan, Ip(192, 168, 1, 21), fourId, kSerwis, 4);
    four.blocks[2][0] = 9;   // not a door block
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QCOMPARE(w.doorConfig.doors[2].Output(0), ResId{0x0002});   // the eight-door controller's door 3

    rig.Select(fourId);
    QVERIFY(rig.seams.errors.isEmpty());
    const DoorCfg& door = w.doorConfig.doors[2];
    for (int slot = 0; slot < 6; ++slot) QCOMPARE(door.Output(slot), kNoRes);
    for (int slot = 0; slot < 10; ++slot) QCOMPARE(door.Input(slot), kNoRes);
    for (int slot = 0; slot < 4; ++slot) QCOMPARE(door.Reader(slot), kNoRes);
    // Device 0's first output is taken by door 1 only.
    QCOMPARE(w.busDevs.records[0].usedOut, 0x2u);
}

void TestSelection::mouseAndKeyboardSelectOnce()
{
    Network net;
    Rig rig(net.lan);
    TMainWin& w = *rig.win;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.UDPTimer->stop();

    ControllerPeer& one = *net.lan.Peer(kOneDoor);
    std::size_t from = one.log.size();
    const int line = rig.Line(kOneDoor);
    QTest::mouseClick(w.EthLstBox->viewport(), Qt::LeftButton, {},
                      w.EthLstBox->visualItemRect(w.EthLstBox->item(line)).center());
    QCOMPARE(w.udpDevs.selected, line);
    QCOMPARE(Letters(one, from), QByteArray("OOKDOC"));

    // The same line again reads the controller again (its session is held by now).
    from = one.log.size();
    QTest::mouseClick(w.EthLstBox->viewport(), Qt::LeftButton, {},
                      w.EthLstBox->visualItemRect(w.EthLstBox->item(line)).center());
    QCOMPARE(Letters(one, from), QByteArray("OODOC"));

    // The next line by keyboard.
    ControllerPeer& eight = *net.lan.Peer(kEightDoors);
    from = eight.log.size();
    w.EthLstBox->setFocus();
    QTest::keyClick(w.EthLstBox, Qt::Key_Down);
    QCOMPARE(w.udpDevs.selected, rig.Line(kEightDoors));
    QCOMPARE(Letters(eight, from), QByteArray("OOKDOCCCCCCCC"));

    // A press on one line that slides to another before it is let go selects the line under the
    // mouse, once.
    from = one.log.size();
    const QPoint pressedAt = w.EthLstBox->visualItemRect(w.EthLstBox->item(rig.Line(kEightDoors))).center();
    const QPoint releasedAt = w.EthLstBox->visualItemRect(w.EthLstBox->item(line)).center();
    QTest::mousePress(w.EthLstBox->viewport(), Qt::LeftButton, {}, pressedAt);
    QTest::mouseMove(w.EthLstBox->viewport(), releasedAt);
    QCOMPARE(w.EthLstBox->currentRow(), line);
    QTest::mouseRelease(w.EthLstBox->viewport(), Qt::LeftButton, {}, releasedAt);
    QTRY_COMPARE(w.udpDevs.selected, line);
    QCOMPARE(Letters(one, from), QByteArray("OODOC"));
    QCOMPARE(w.SelDevBox->title(), QStringLiteral(" K105_00101 "));
    QTest::qWait(20);
    QCOMPARE(Letters(one, from), QByteArray("OODOC"));
}

void TestSelection::waitCursorWhileSelecting()
{
    Network net;
    Rig rig(net.lan);
    bool waitShown = false;
    net.lan.Peer(kOneDoor)->mutateReply = [&waitShown](const PeerRequest& req, std::vector<uint8_t>&) {
        if (req.letter == 'D')
            waitShown = QApplication::overrideCursor() != nullptr &&
                        QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    bool waitOverBox = true;
    rig.seams.onError = [&waitOverBox](const QString&) {
        waitOverBox = QApplication::overrideCursor() != nullptr &&
                      QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };
    rig.Select(kOneDoor);
    QVERIFY(waitShown);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    rig.Select(kLocked);
    QCOMPARE(rig.seams.errors.size(), 1);
    QVERIFY(!waitOverBox);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

QTEST_MAIN(TestSelection)
#include "tst_selection.moc"
