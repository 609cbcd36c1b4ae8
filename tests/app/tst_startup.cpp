// Start-up, the controller list, the search and the web page button.
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>

#include "app/program.h"
#include "editors/editors.h"
#include "rig.h"

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void noControllerSearchesThreeTimes();
    void firstControllerIsReadBeforeTheWindowShows();
    void secondCopyShowsTheBindErrorOnce();
    void bindErrorOnceWhileItsBoxRunsAnEventLoop();
    void searchThatFailsAfterFindingLeavesNoSelection();
    void laterSearchKeepsTheSelection();
    void wwwOpensTheSelectedAddress();
    void standardDialogsSpeakPolish();
    void controlsAsTheFormGivesThem();
};

void TestStartup::noControllerSearchesThreeTimes()
{
    SimLan lan;
    Rig rig(lan);
    TMainWin& w = *rig.win;

    const std::vector<uint8_t> search{0x4D, 0x4D, 0x44, 0x4F, 0xFF, 0xFF, 0xFF, 0xFF, 0xF8, 0xF3, 0x14, 0x64};
    QCOMPARE(lan.sent.size(), std::size_t{3});
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(lan.sent[i].toIp, kBroadcastIp);
        QCOMPARE(lan.sent[i].port, kUdpPort);
        QVERIFY(lan.sent[i].bytes == search);
    }
    QVERIFY(lan.sent[1].atMs - lan.sent[0].atMs >= 200);
    QVERIFY(lan.sent[2].atMs - lan.sent[1].atMs >= 200);

    QVERIFY(rig.seams.errors.isEmpty());
    QCOMPARE(w.EthLstBox->count(), 0);
    QVERIFY(!w.WwwBtn->isEnabled());
    QVERIFY(w.CtrlTypeSet->isHidden());
    QCOMPARE(w.windowTitle(), QStringLiteral("OlmConfig - 1.3.3"));
    QCOMPARE(w.size(), QSize(966, 665));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(w.UDPTimer->interval(), 1000);

    // An empty set: a tick only drains the socket.
    lan.ClearLog();
    w.UDPTimerTimer();
    QVERIFY(lan.sent.empty());
    QVERIFY(rig.seams.errors.isEmpty());
}

void TestStartup::firstControllerIsReadBeforeTheWindowShows()
{
    SimLan lan;
    const uint32_t doorId = MakeId(305, 42);
    const uint32_t liftId = MakeId(310, 77);
    ControllerPeer& doors = AddDoorController(lan, Ip(192, 168, 1, 20), doorId, kSerwis, 4,
                                              {ReaderDev(7), ReaderDev(19)});
    ControllerPeer& lift = AddLiftController(lan, Ip(192, 168, 1, 23), liftId, kSerwis);
    Rig rig(lan);
    TMainWin& w = *rig.win;

    QVERIFY(rig.seams.errors.isEmpty());
    QCOMPARE(Lines(w.EthLstBox), (QStringList{QStringLiteral(" K105_00042,  192.168.1.20,  Serwis"),
                                              QStringLiteral(" K110_00077,  192.168.1.23,  Serwis")}));
    QCOMPARE(w.EthLstBox->currentRow(), 0);
    QCOMPARE(w.udpDevs.selected, 0);
    QVERIFY(w.WwwBtn->isEnabled());

    // One search pass found both; each got the time; the first was polled, got a session, and
    // had its device list and its four door blocks read, in order.
    QCOMPARE(Letters(doors), QByteArray("OTOOKDOCCCC"));
    QCOMPARE(Letters(lift), QByteArray("OT"));
    const std::vector<PeerRequest> reads = Requests(doors, 'C');
    for (std::size_t i = 0; i < reads.size(); ++i) {
        QVERIFY(reads[i].isSigned);
        QCOMPARE(reads[i].counter, uint16_t(2 + i));
        QVERIFY((reads[i].payload == std::vector<uint8_t>{1, uint8_t(i)}));
    }
    QCOMPARE(Requests(doors, 'D').at(0).counter, uint16_t{1});

    QVERIFY(!w.CtrlTypeSet->isHidden());
    QVERIFY(w.CtrlTypeSet->isTabVisible(0));
    QVERIFY(!w.CtrlTypeSet->isTabVisible(1));
    QCOMPARE(w.CtrlTypeSet->currentWidget(), w.DoorSheet);
    QCOMPARE(w.CtrlTypeSet->tabText(0), QStringLiteral("Przejścia"));
    QCOMPARE(w.CtrlTypeSet->tabText(1), QStringLiteral("Winda"));
    QCOMPARE(w.DoorPage->DoorTc()->count(), 4);
    QCOMPARE(w.DoorPage->DoorTc()->tabText(3), QStringLiteral("4"));
    QCOMPARE(w.DoorPage->DoorTc()->currentIndex(), 0);
    QStringList airlocks;
    for (int i = 0; i < w.DoorPage->SluzaSel()->count(); ++i) airlocks << w.DoorPage->SluzaSel()->itemText(i);
    QCOMPARE(airlocks, (QStringList{QStringLiteral("  -----"), QStringLiteral("Śluza 1"), QStringLiteral("Śluza 2")}));

    QCOMPARE(w.SelDevBox->title(), QStringLiteral(" K105_00042 "));
    QCOMPARE(Lines(w.DevListBox), (QStringList{QStringLiteral(" Kontroler: K105_00042/A3"),
                                               QStringLiteral("    Czytnik: R107_00007/A1"),
                                               QStringLiteral("    Czytnik: R107_00019/A1")}));
}

void TestStartup::secondCopyShowsTheBindErrorOnce()
{
    SimLan lan;
    AddDoorController(lan, Ip(192, 168, 1, 20), MakeId(305, 42), kSerwis, 2);
    lan.bindError = "bind: Address already in use";
    Rig rig(lan);
    TMainWin& w = *rig.win;

    QCOMPARE(rig.seams.errors, QStringList{QStringLiteral("bind: Address already in use")});
    QCOMPARE(w.EthLstBox->count(), 0);
    QCOMPARE(w.udpDevs.count, 0);
    // The page area keeps its initial state.
    QVERIFY(!w.CtrlTypeSet->isHidden());
    QVERIFY(w.CtrlTypeSet->isTabVisible(0));
    QVERIFY(w.CtrlTypeSet->isTabVisible(1));

    // The poll meets the same error every second and stays silent about it.
    for (int i = 0; i < 3; ++i) w.UDPTimerTimer();
    QCOMPARE(rig.seams.errors.size(), 1);
    // The window stays usable: commands without a controller do nothing.
    w.WrDCfgBtnClick();
    w.WwwBtnClick();
    w.RapCfgBtnClick();
    QCOMPARE(rig.seams.errors.size(), 1);
    QVERIFY(rig.seams.urls.isEmpty());
    QVERIFY(lan.sent.empty());
    // A search asked for by the user says it again.
    w.SearchEthBtnClick();
    QCOMPARE(rig.seams.errors.size(), 2);
}

void TestStartup::bindErrorOnceWhileItsBoxRunsAnEventLoop()
{
    // The timer runs from the window's construction, so its ticks fall due inside the start-up
    // box's event loop; each meets the same bind error and must not open a box of its own.
    SimLan lan;
    lan.bindError = "bind: Address already in use";
    FakeSeams seams;
    int ticksInside = 0;
    seams.onError = [&](const QString&) {
        QEventLoop loop;
        QTimer::singleShot(2300, &loop, &QEventLoop::quit);
        loop.exec();
    };
    TMainWin w(lan, seams);
    QObject::connect(w.UDPTimer, &QTimer::timeout, [&] { ++ticksInside; });
    QCOMPARE(seams.errors, QStringList{QStringLiteral("bind: Address already in use")});
    QCOMPARE(seams.mostBoxesOpen, 1);
    // Later ticks stay silent about it too.
    QTest::qWait(1200);
    QVERIFY(ticksInside >= 1);
    QCOMPARE(seams.errors.size(), 1);
}

void TestStartup::searchThatFailsAfterFindingLeavesNoSelection()
{
    FaultyLan lan;
    const uint32_t id = MakeId(305, 42);
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), id, kSerwis, 2, {ReaderDev(7, kInactive)});
    lan.failSendLetter = 'T';   // the time frame to the controller just found fails
    Rig rig(lan);
    TMainWin& w = *rig.win;

    QCOMPARE(rig.seams.errors, QStringList{QStringLiteral("sendto: Network is unreachable")});
    QCOMPARE(w.udpDevs.count, 1);
    QCOMPARE(w.udpDevs.selected, -1);
    QCOMPARE(w.EthLstBox->count(), 0);

    // Nothing addresses a record through the selection -1.
    lan.failSendLetter = 0;
    const std::size_t before = peer.log.size();
    w.UDPTimerTimer();
    w.WwwBtnClick();
    w.WrDCfgBtnClick();
    w.DelLostBtnClick();
    w.ReplaceBtnClick();
    QCOMPARE(Letters(peer, before), QByteArray());
    QVERIFY(rig.seams.urls.isEmpty());
    QCOMPARE(rig.seams.errors.size(), 1);

    // The next search builds the list and selects the controller.
    w.SearchEthBtnClick();
    QCOMPARE(w.udpDevs.selected, 0);
    QCOMPARE(w.EthLstBox->count(), 1);
    QCOMPARE(w.DevListBox->count(), 2);
}

void TestStartup::laterSearchKeepsTheSelection()
{
    SimLan lan;
    const uint32_t first = MakeId(305, 42);
    ControllerPeer& peer = AddDoorController(lan, Ip(192, 168, 1, 20), first, kSerwis, 1);
    Rig rig(lan);
    TMainWin& w = *rig.win;
    QCOMPARE(w.udpDevs.selected, 0);

    // A controller that sorts before the selected one appears; the selection stays on the same
    // controller and nothing is read again.
    AddDoorController(lan, Ip(192, 168, 1, 9), MakeId(305, 7), kInstalacja, 1);
    const std::size_t before = peer.log.size();
    w.SearchEthBtnClick();
    QCOMPARE(w.udpDevs.count, 2);
    QCOMPARE(w.udpDevs.selected, 1);
    QCOMPARE(w.EthLstBox->currentRow(), 1);
    QCOMPARE(w.EthLstBox->item(0)->text(), QStringLiteral(" K105_00007,  192.168.1.9,  Instalacja"));
    QCOMPARE(Letters(peer, before), QByteArray("O"));   // the broadcast only
    QCOMPARE(w.SelDevBox->title(), QStringLiteral(" K105_00042 "));

    // A late discovery reply taken in by a tick inserts above as well.
    const uint32_t late = MakeId(305, 3);
    lan.Inject(Ip(192, 168, 1, 3), DiscoveryReply(late, kSerwis), lan.NowMs());
    w.UDPTimerTimer();
    QCOMPARE(w.udpDevs.count, 3);
    QCOMPARE(w.udpDevs.selected, 2);
    QCOMPARE(w.EthLstBox->currentRow(), 2);
    QCOMPARE(w.EthLstBox->item(0)->text(), QStringLiteral(" K105_00003,  192.168.1.3,  Serwis"));
    QVERIFY(rig.seams.errors.isEmpty());
}

void TestStartup::wwwOpensTheSelectedAddress()
{
    SimLan lan;
    ControllerPeer& peer = lan.AddPeer(Ip(10, 1, 2, 254), MakeId(305, 42), kBlokada);
    Rig rig(lan);
    QCOMPARE(rig.seams.errors.size(), 1);   // kind 8: a controller in "Blokada" is not read
    // The mode and reachability play no part.
    peer.faults.silent = true;
    rig.win->UDPTimerTimer();
    const std::size_t sent = lan.sent.size();
    rig.win->WwwBtnClick();
    QCOMPARE(rig.seams.urls, QList<QUrl>{QUrl(QStringLiteral("http://10.1.2.254"))});
    QCOMPARE(lan.sent.size(), sent);
}

void TestStartup::standardDialogsSpeakPolish()
{
    LoadPolishTranslations(*QCoreApplication::instance());
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Anuluj"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "File &name:"), QStringLiteral("Nazwa &pliku:"));
}

void TestStartup::controlsAsTheFormGivesThem()
{
    SimLan lan;
    Rig rig(lan);
    TMainWin& w = *rig.win;
    struct Control {
        QWidget* widget;
        QString caption;
        QRect geometry;   // an empty rectangle: only the position is given
        bool enabled;
    };
    auto caption = [](QWidget* widget) {
        if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
        if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
        if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
        return QString();
    };
    const std::vector<Control> controls{
        {w.SelBox, QStringLiteral(" Ethernet "), QRect(16, 8, 281, 209), true},
        {w.EthDevLb, QStringLiteral("Urządzenie"), QRect(32, 20, 0, 0), true},
        {w.EthIpAddrLb, QStringLiteral("Adres IP"), QRect(104, 20, 0, 0), true},
        {w.EthStateLb, QStringLiteral("Stan"), QRect(176, 20, 0, 0), true},
        {w.EthLstBox, QString(), QRect(24, 40, 233, 113), true},
        {w.HelpEthBtn, QStringLiteral("Pomoc"), QRect(24, 168, 57, 25), true},
        {w.SearchEthBtn, QStringLiteral("Przeszukaj sieć"), QRect(152, 168, 105, 25), true},
        {w.WwwBtn, QStringLiteral("www"), QRect(88, 168, 57, 25), false},   // no controller found
        {w.SelDevBox, QString(), QRect(16, 232, 281, 417), true},
        {w.DelLostBtn, QStringLiteral("Usuń nieaktywne"), QRect(152, 288, 105, 25), false},
        {w.HelpDevBtn, QStringLiteral("Pomoc"), QRect(32, 288, 65, 25), true},
        {w.ReplBox, QStringLiteral(" Zastępowanie "), QRect(8, 328, 265, 73), true},
        {w.ReplOldLb, QStringLiteral("Stary"), QRect(34, 20, 0, 0), false},
        {w.ReplNewLb, QStringLiteral("Nowy"), QRect(105, 20, 0, 0), false},
        {w.ReplaceBtn, QStringLiteral("Zastąp"), QRect(184, 32, 65, 25), false},
        {w.ReplCb, QString(), QRect(16, 40, 153, 22), false},
        {w.DevListBox, QString(), QRect(16, 24, 249, 243), true},
        {w.CtrlTypeSet, QString(), QRect(317, 8, 641, 641), true},
        {w.HelpDoorBtn, QStringLiteral("Pomoc"), QRect(32, 576, 75, 25), true},
        {w.RapCfgBtn, QStringLiteral("Raport"), QRect(392, 576, 75, 25), true},
        {w.WrDCfgBtn, QStringLiteral("Zapisz"), QRect(502, 576, 75, 25), true},
        {w.WrLCfgBtn, QStringLiteral("Zapisz"), QRect(502, 576, 75, 25), true},
    };
    for (const Control& c : controls) {
        const QString name = c.widget->objectName();
        QVERIFY2(caption(c.widget) == c.caption, qPrintable(name));
        QVERIFY2(c.widget->pos() == c.geometry.topLeft(), qPrintable(name));
        if (!c.geometry.isEmpty()) QVERIFY2(c.widget->size() == c.geometry.size(), qPrintable(name));
        QVERIFY2(c.widget->isEnabled() == c.enabled, qPrintable(name));
    }
    QCOMPARE(w.DoorSheet->parentWidget()->parentWidget(), w.CtrlTypeSet);
    QCOMPARE(w.CtrlTypeSet->currentWidget(), w.DoorSheet);

    // Tab order: the controller box, the device box, the page area.
    const QList<QWidget*> order{w.EthLstBox, w.HelpEthBtn, w.SearchEthBtn, w.WwwBtn,   w.DelLostBtn,
                                w.HelpDevBtn, w.ReplaceBtn, w.ReplCb,       w.DevListBox, w.CtrlTypeSet};
    QList<QWidget*> chain;
    for (QWidget* at = w.EthLstBox; chain.size() < 200; at = at->nextInFocusChain()) {
        if (order.contains(at)) chain << at;
        if (at == w.CtrlTypeSet) break;
    }
    QCOMPARE(chain, order);

    // The lift page: the name, "Zapisz", then the test group.
    auto* liftName = w.LiftPage->findChild<QLineEdit*>(QStringLiteral("LiftNameEd"));
    auto* liftTime = w.LiftPage->findChild<QLineEdit*>(QStringLiteral("LiftTimEd"));
    QVERIFY(liftName != nullptr && liftTime != nullptr);
    const QList<QWidget*> liftOrder{liftName, w.WrLCfgBtn, liftTime};
    QList<QWidget*> liftChain;
    for (QWidget* at = liftName; liftChain.size() < 3; at = at->nextInFocusChain())
        if (at->focusPolicy() & Qt::TabFocus) liftChain << at;
    QCOMPARE(liftChain, liftOrder);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
