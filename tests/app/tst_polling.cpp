// The one-second poll: its steps, its error rule, the keep-alive rotation, following the bus.
#include <QLineEdit>

#include "editors/editors.h"
#include "rig.h"

namespace {

const uint32_t kDoors = MakeId(305, 42);

// Corrupts the letter of every reply to the given command, so that no reply ever matches.
std::function<void(const PeerRequest&, std::vector<uint8_t>&)> Unanswered(char letter)
{
    return [letter](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == letter) frame[10] ^= 0x20;
    };
}

// Types the text key by key, Polish letters included.
void Type(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

}  // namespace

class TestPolling : public QObject {
    Q_OBJECT
private slots:
    void tickPollsReadsQuietlyAndKeepsAlive();
    void linkErrorIsShownOnEveryTick();
    void otherErrorIsShownOnceUntilATickCompletes();
    void oneErrorBoxAtATime();
    void sessionsLiveWhileATickErrorIsOpen();
    void keepAliveVisitsEachControllerOnceInFifteenTicks();
    void busChangeRefreshesThePanelAndKeepsEdits();
    void invalidDeviceListIsReadAgain();
    void failedReadingInATickEmptiesPanelAndPages();
    void tickDuringAFailedSelectionShowsNoPages();
    void modeChangeAndSilenceShowInTheLine();
    void typedAirlockSurvivesAPollFill();
    void typedUnlockTimeDiesWithAFreshRead();
};

void TestPolling::tickPollsReadsQuietlyAndKeepsAlive()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2);
    Rig rig(lan);
    std::size_t from = peer.log.size();
    rig.win->UDPTimerTimer();
    QCOMPARE(Letters(peer, from), QByteArray("ODOS"));   // poll, quiet device list, keep-alive of slot 0
    from = peer.log.size();
    rig.win->UDPTimerTimer();
    QCOMPARE(Letters(peer, from), QByteArray("OD"));
    QCOMPARE(rig.win->keepAliveSlot, 2);
    QVERIFY(rig.seams.errors.isEmpty());
}

void TestPolling::linkErrorIsShownOnEveryTick()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1);
    Rig rig(lan);
    peer.mutateReply = Unanswered('D');
    rig.win->UDPTimerTimer();
    rig.win->UDPTimerTimer();
    const QString text = ErrText("K105_00042", "Serwis", 6, 'D', "Brak odpowiedzi na rozkaz.");
    QCOMPARE(rig.seams.errors, (QStringList{text, text}));
}

void TestPolling::otherErrorIsShownOnceUntilATickCompletes()
{
    FaultyLan lan;
    AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    const QString text = QStringLiteral("recvfrom: Connection refused");

    lan.failReceive = true;
    w.UDPTimerTimer();
    w.UDPTimerTimer();
    w.UDPTimerTimer();
    QCOMPARE(rig.seams.errors, QStringList{text});
    lan.failReceive = false;
    w.UDPTimerTimer();
    QCOMPARE(rig.seams.errors.size(), 1);
    lan.failReceive = true;
    w.UDPTimerTimer();
    QCOMPARE(rig.seams.errors, (QStringList{text, text}));
}

void TestPolling::oneErrorBoxAtATime()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    peer.mutateReply = Unanswered('D');

    // While the box of one tick is open, the ticks that fall due in its event loop still poll,
    // but open no box of their own.
    std::size_t sentInsideBox = 0;
    rig.seams.onError = [&](const QString&) {
        const std::size_t before = lan.sent.size();
        w.UDPTimerTimer();
        w.UDPTimerTimer();
        sentInsideBox += lan.sent.size() - before;
    };
    w.UDPTimerTimer();
    QCOMPARE(rig.seams.errors.size(), 1);
    QCOMPARE(rig.seams.mostBoxesOpen, 1);
    QVERIFY(sentInsideBox > 0);
    // Once it is closed, the next tick runs and reports again.
    w.UDPTimerTimer();
    QCOMPARE(rig.seams.errors.size(), 2);

    // Ticks do run while another modal window is open.
    peer.mutateReply = nullptr;
    rig.seams.onError = nullptr;
    std::size_t sentInsideHelp = 0;
    rig.seams.onExec = [&](QDialog&) {
        const std::size_t before = lan.sent.size();
        w.UDPTimerTimer();
        sentInsideHelp = lan.sent.size() - before;
        return int(QDialog::Accepted);
    };
    w.HelpEthBtnClick();
    QVERIFY(sentInsideHelp > 0);
}

void TestPolling::sessionsLiveWhileATickErrorIsOpen()
{
    // A fails every tick (a reply with a wrong code); B holds a session of this program. The user
    // leaves A's error box open for 45 s: the ticks meanwhile keep B's session alive, although
    // every one of them fails on A before its keep-alive step.
    SimLan lan;
    const uint32_t a = MakeId(305, 1), b = MakeId(305, 2);
    ControllerPeer& pa = AddDoorController(lan, Ip(192, 168, 1, 21), a, kSerwis, 1);
    ControllerPeer& pb = AddDoorController(lan, Ip(192, 168, 1, 22), b, kSerwis, 1);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    rig.Select(b);
    rig.Select(a);
    QVERIFY(w.udpDevs[rig.Line(b)].hasSession);
    pa.faults.badCode = 1000000;
    const std::size_t fromB = pb.log.size();
    int ticksInside = 0;
    rig.seams.onError = [&](const QString&) {
        for (; ticksInside < 45; ++ticksInside) {
            lan.Advance(1000);
            w.UDPTimerTimer();
        }
    };
    w.UDPTimerTimer();
    QCOMPARE(ticksInside, 45);
    QCOMPARE(rig.seams.errors.size(), 1);
    QCOMPARE(rig.seams.mostBoxesOpen, 1);
    QVERIFY(rig.seams.errors[0].contains(QStringLiteral("Błąd nr 4 (r.'D')")));
    QVERIFY(Requests(pb, 'S', fromB).size() >= 3);
    QVERIFY(pb.HasSession(lan.NowMs()));
    QVERIFY(w.udpDevs[rig.Line(b)].hasSession);
}

void TestPolling::keepAliveVisitsEachControllerOnceInFifteenTicks()
{
    SimLan lan;
    std::vector<ControllerPeer*> peers;
    for (uint32_t i = 0; i < 16; ++i)
        peers.push_back(&AddDoorController(lan, Ip(192, 168, 2, 10 + i), MakeId(305, 1000 + i), kSerwis, 1));
    Rig rig(lan);
    QCOMPARE(rig.win->udpDevs.count, 16);
    for (int line = 1; line < 16; ++line) rig.Select(line);   // line 0 was selected at start-up
    for (int line = 0; line < 16; ++line) QVERIFY(rig.win->udpDevs[line].hasSession);

    for (int tick = 0; tick < 16; ++tick) {
        std::vector<std::size_t> from;
        for (ControllerPeer* p : peers) from.push_back(p->log.size());
        rig.win->UDPTimerTimer();
        QList<int> kept;
        for (int line = 0; line < 16; ++line)
            if (!Requests(*peers[static_cast<std::size_t>(line)], 'S', from[static_cast<std::size_t>(line)]).empty())
                kept << line;
        const QList<int> expected = tick % 15 == 0 ? QList<int>{0, 15} : QList<int>{tick};
        QCOMPARE(kept, expected);
    }
    QVERIFY(rig.seams.errors.isEmpty());
}

void TestPolling::typedAirlockSurvivesAPollFill()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 4);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QComboBox* sluza = w.DoorPage->SluzaSel();
    sluza->setFocus();
    sluza->lineEdit()->selectAll();
    Type(sluza->lineEdit(), QStringLiteral("Śluza"));
    QCOMPARE(w.doorConfig.Airlock(0), -1);   // text that names no entry: no airlock

    // A change on the bus refills the page while the user types: the typed text stays.
    peer.deviceList = DeviceListBlock(1, 4, {ControllerDev(kDoors), ReaderDev(5)});
    w.UDPTimerTimer();
    QCOMPARE(w.DevListBox->count(), 2);
    QCOMPARE(sluza->currentText(), QStringLiteral("Śluza"));
    Type(sluza->lineEdit(), QStringLiteral(" 2"));
    QCOMPARE(w.doorConfig.Airlock(0), 1);

    // Another door shown replaces the text with that door's airlock.
    w.DoorPage->DoorTc()->setCurrentIndex(1);
    QCOMPARE(sluza->currentText(), QStringLiteral("  -----"));
    w.DoorPage->DoorTc()->setCurrentIndex(0);
    QCOMPARE(sluza->currentText(), QStringLiteral("Śluza 2"));
}

void TestPolling::typedUnlockTimeDiesWithAFreshRead()
{
    // The user types an unlock time and has not left the field when a tick reads the lift's
    // configuration anew (its device list came invalid once): the typing belonged to the record
    // that was replaced, so it is neither shown over the new one nor stored into it.
    SimLan lan;
    const uint32_t lift = MakeId(310, 77);
    ControllerPeer& peer = AddLiftController(lan, Ip(192, 168, 1, 21), lift, kInstalacja);
    peer.blocks[0][kParamOffset + 4] = 9;   // 4,5 s
    Rig rig(lan);
    TMainWin& w = *rig.win;
    auto* time = w.LiftPage->findChild<QLineEdit*>(QStringLiteral("LiftTimEd"));
    QCOMPARE(time->text(), QStringLiteral("4,5"));
    time->setFocus();
    time->selectAll();
    QTest::keyClicks(time, QStringLiteral("12"));

    const std::vector<uint8_t> list = peer.deviceList;
    peer.deviceList = DeviceListBlock(0, 0, {});
    peer.mutateReply = [&](const PeerRequest& req, std::vector<uint8_t>&) {
        if (req.letter == 'D') peer.deviceList = list;   // the next reading gets the valid list
    };
    std::size_t from = peer.log.size();
    w.UDPTimerTimer();
    QCOMPARE(Letters(peer, from).left(6), QByteArray("ODODOC"));
    QCOMPARE(time->text(), QStringLiteral("4,5"));

    from = peer.log.size();
    w.WrLCfgBtnClick();
    const auto writes = Requests(peer, 'c', from);
    QCOMPARE(writes.size(), std::size_t{1});
    QCOMPARE(int(writes[0].payload[2 + kParamsAt + 4]), 9);
}

void TestPolling::busChangeRefreshesThePanelAndKeepsEdits()
{
    SimLan lan;
    ControllerPeer& peer =
        AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2, {ReaderDev(7, kInactive), ReaderDev(19, kNew)});
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QCOMPARE(w.ReplCb->count(), 1);
    w.doorConfig.SetDoorName(1, "Zmiana");

    // The new reader has been accepted and a keypad joined the bus.
    peer.deviceList = DeviceListBlock(1, 2, {ControllerDev(kDoors), ReaderDev(7, kInactive), ReaderDev(19),
                                             KeypadDev(5, kNew)});
    const std::size_t from = peer.log.size();
    w.UDPTimerTimer();
    QCOMPARE(Letters(peer, from), QByteArray("ODOS"));   // no configuration block is read
    QCOMPARE(Lines(w.DevListBox), (QStringList{QStringLiteral(" Kontroler: K105_00042/A3"),
                                               QStringLiteral("    Czytnik: R107_00007/A1,   (nieaktywny)"),
                                               QStringLiteral("    Czytnik: R107_00019/A1"),
                                               QStringLiteral(" Klawiatura: K112_00005/A1,   (nowy)")}));
    QCOMPARE(w.ReplCb->count(), 0);
    QVERIFY(!w.ReplaceBtn->isEnabled());
    QVERIFY(w.DelLostBtn->isEnabled());
    QCOMPARE(w.doorConfig.DoorName(1), std::string("Zmiana"));
    // The maps were rebuilt from the configuration held: door 1's lock keeps output 2 taken.
    QCOMPARE(w.busDevs.records[0].usedOut & 2u, 2u);
    QVERIFY(rig.seams.errors.isEmpty());
}

void TestPolling::invalidDeviceListIsReadAgain()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QVERIFY(!w.CtrlTypeSet->isHidden());

    // A changed list that says "door controller without doors": not a valid list.
    peer.deviceList = DeviceListBlock(1, 0, {ControllerDev(kDoors), ReaderDev(9)});
    const std::size_t from = peer.log.size();
    w.UDPTimerTimer();
    // The quiet read, the full reading (the door reading checks the session, then has no door to
    // read), the keep-alive.
    QCOMPARE(Letters(peer, from), QByteArray("ODODOOS"));
    QVERIFY(w.CtrlTypeSet->isHidden());
    QVERIFY(rig.seams.errors.isEmpty());
    w.WrDCfgBtnClick();
    QCOMPARE(Requests(peer, 'c').size(), std::size_t{0});
}

void TestPolling::failedReadingInATickEmptiesPanelAndPages()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2);
    peer.deviceList = DeviceListBlock(1, 2, {ControllerDev(kDoors), ReaderDev(9, 0x80), ReaderDev(10, 0x10)});
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QVERIFY(w.ReplaceBtn->isEnabled());

    // A changed list that is invalid makes the tick read everything again, and that reading's D
    // is never answered.
    peer.deviceList = DeviceListBlock(1, 0, {ControllerDev(kDoors), ReaderDev(9, 0x80)});
    int lists = 0;
    peer.mutateReply = [&](const PeerRequest& req, std::vector<uint8_t>& frame) {
        if (req.letter == 'D' && lists++ > 0) frame[10] ^= 0x20;
    };
    w.UDPTimerTimer();
    QCOMPARE(rig.seams.errors.size(), 1);
    QVERIFY(w.CtrlTypeSet->isHidden());
    QCOMPARE(w.DevListBox->count(), 0);
    QVERIFY(!w.ReplaceBtn->isEnabled());
    QVERIFY(!w.DelLostBtn->isEnabled());
}

void TestPolling::tickDuringAFailedSelectionShowsNoPages()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 2);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QVERIFY(!w.CtrlTypeSet->isHidden());

    // Selecting the line again: the reading fails at the first door. While its error box is open
    // a tick reads the device list quietly; the pages stay hidden, since no configuration of this
    // controller is held, and "Zapisz" writes nothing.
    peer.mutateReply = Unanswered('C');
    int ticks = 0;
    rig.seams.onError = [&](const QString&) {
        if (ticks++ == 0) w.UDPTimerTimer();
    };
    rig.Select(kDoors);
    QCOMPARE(ticks, 1);
    QCOMPARE(w.busDevs.doorCount, 2);   // the tick took the list in
    QVERIFY(w.CtrlTypeSet->isHidden());
    peer.mutateReply = nullptr;
    const std::size_t from = peer.log.size();
    w.WrDCfgBtnClick();
    QCOMPARE(Requests(peer, 'c', from).size(), std::size_t{0});
}

void TestPolling::modeChangeAndSilenceShowInTheLine()
{
    SimLan lan;
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), kDoors, kSerwis, 1);
    Rig rig(lan);
    TMainWin& w = *rig.win;

    auto* testGroup = w.DoorPage->findChild<QWidget*>(QStringLiteral("DTstGrpBox"));
    auto* lockTime = w.DoorPage->findChild<QWidget*>(QStringLiteral("RygTimEd"));
    QVERIFY(!testGroup->isEnabled());
    peer.status = kInstalacja;
    w.UDPTimerTimer();
    QCOMPARE(w.EthLstBox->item(0)->text(), QStringLiteral(" K105_00042,  192.168.1.20,  Instalacja"));
    QCOMPARE(w.EthLstBox->currentRow(), 0);
    // The page follows the mode: the test group can be edited in "Instalacja".
    QVERIFY(testGroup->isEnabled());
    QVERIFY(lockTime->isEnabled());
    peer.status = kSerwis;
    w.UDPTimerTimer();
    QVERIFY(!testGroup->isEnabled());

    peer.faults.silent = true;
    std::size_t from = peer.log.size();
    w.UDPTimerTimer();
    QCOMPARE(Letters(peer, from), QByteArray("OOO"));
    QCOMPARE(w.EthLstBox->item(0)->text(), QStringLiteral(" K105_00042,  192.168.1.20,  Niedostępny"));
    from = peer.log.size();
    w.UDPTimerTimer();
    QCOMPARE(Letters(peer, from), QByteArray("O"));
    QVERIFY(rig.seams.errors.isEmpty());
}

QTEST_MAIN(TestPolling)
#include "tst_polling.moc"
