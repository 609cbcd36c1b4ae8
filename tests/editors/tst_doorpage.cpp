// The door page against a controller peer: pickers, companion boxes, the lock rule, the test group,
// time fields, airlocks, names, and what "Zapisz" then sends.
#include <QAbstractItemView>
#include <QGroupBox>
#include <QLabel>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QtTest>

#include "tests/common/cp1250.h"
#include "tests/editors/rig.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr std::size_t kParam = 2 + 40;   // parameter area in a c payload (kind, index, record)

ResId Id(int device, int number) { return MakeRes(device, number); }

// The free entries the standard devices offer for a kind while nothing is assigned, in offering order.
QStringList AllOutputs()
{
    QStringList s;
    for (int n = 0; n < 4; ++n) s << Entry(0, "Out", n);
    for (int n = 0; n < 4; ++n) s << Entry(1, "Out", n);
    return s;
}

QStringList AllInputs()
{
    QStringList s;
    for (int n = 0; n < 6; ++n) s << Entry(0, "In", n);
    for (int n = 0; n < 2; ++n) s << Entry(2, "In", n);
    for (int n = 0; n < 4; ++n) s << Entry(1, "In", n);
    for (int n = 0; n < 2; ++n) s << Entry(3, "In", n);
    return s;
}

QStringList With(QStringList head, const QStringList& tail)
{
    head << tail;
    return head;
}

}  // namespace

class DoorPageTest : public QObject {
    Q_OBJECT

private slots:
    void captionsAndInitialState();
    void unassignedAndAssignedPickers();
    void resourceLeavesAndReturnsAcrossDoors();
    void lockRuleAndSensorPicker();
    void ncCarriesOverToOcOutputsAndInputs();
    void exitFlagBelongsToSlot();
    void showingNeverRewritesRecords();
    void testGroupFollowsMode_data();
    void testGroupFollowsMode();
    void timeFields_data();
    void timeFields();
    void typedTimeLandsBeforeTabClickAndSave();
    void pollFillKeepsTimeBeingTyped();
    void airlockEntries_data();
    void airlockEntries();
    void airlockChoices();
    void nameOfFifteenPolishCharacters();
    void doorTypeAndFlags();
    void changedBusKeepsUnsavedEdits();
    void firstFreeEntriesOnTheLargestBus();
    void userPicksWithKeyboardAndPopup();
    void openListShowsWholeEntries();
    void boxesChangeNothingWhileAPageFills();
};

void DoorPageTest::captionsAndInitialState()
{
    Rig rig(1, 8);
    QWidget* p = rig.doorPage.get();
    // Captions of every group and the test group's controls, exactly as the user reads them.
    const QList<std::pair<const char*, QString>> groups{
        {"DoorGrpBox", u" Drzwi "_s},    {"RdGrpBox", u" Czytniki "_s},     {"OutGrpBox", u" Wyjścia "_s},
        {"InGrpBox", u" Wejścia "_s},    {"DTstGrpBox", u" Testowanie "_s}, {"SluzaGrpBox", u" Śluzy "_s}};
    for (const auto& [name, caption] : groups) QCOMPARE(Ctl<QGroupBox>(p, name)->title(), caption);
    QCOMPARE(Ctl<QGroupBox>(p, "InGrpBox")->geometry(), QRect(304, 40, 297, 313));
    QCOMPARE(Ctl<QGroupBox>(p, "DTstGrpBox")->geometry(), QRect(400, 359, 201, 177));
    const QList<std::pair<const char*, QString>> labels{
        {"Out0Lb", u"Rygiel:"_s},          {"In1Lb", u"Czujnik otwarcia:"_s},  {"Out4Lb", u"Strażnik:"_s},
        {"In0Lb", u"Przycisk wyjścia:"_s}, {"In8Lb", u"Brak zasilania AC:"_s}, {"RdExitLb", u" Wyjście"_s},
        {"TypeLb", u"Typ przejścia:"_s},   {"RygTimLb", u"Impuls otwarcia rygla:"_s},
        {"OpenTimLb", u"Dozw. czas otwarcia:"_s}, {"DoorNameLb", u"Nazwa przejścia:"_s}};
    for (const auto& [name, caption] : labels) QCOMPARE(Ctl<QLabel>(p, name)->text(), caption);
    QCOMPARE(Ctl<QCheckBox>(p, "KlamkaCb")->text(), u"Otwieranie klamką"_s);
    QCOMPARE(Ctl<QCheckBox>(p, "FullTimCb")->text(), u"Pełny impuls rygla"_s);
    QCOMPARE(Texts(Ctl<QComboBox>(p, "TypeCb")),
             QStringList({u"Otwarte"_s, u"Normalne"_s, u"Bistabilne"_s, u"Astabilne"_s, u"Zablokowane"_s}));

    // The form's eight tabs, the first selected; reader row labels disabled; every picker a
    // pick-only list of 113 x 22.
    QCOMPARE(rig.doorPage->DoorTc()->count(), 8);
    QCOMPARE(rig.doorPage->DoorTc()->currentIndex(), 0);
    for (int r = 0; r < 4; ++r) QVERIFY(!Ctl<QLabel>(p, qPrintable(u"Rd%1Lb"_s.arg(r)))->isEnabled());
    const auto pickers = p->findChildren<QComboBox*>(QRegularExpression(u"^(Out|In|Rd)\\d+Sel$"_s));
    QCOMPARE(pickers.size(), 20);
    for (QComboBox* c : pickers) {
        QVERIFY(!c->isEditable());
        QCOMPARE(c->size(), QSize(113, 22));
    }
    QVERIFY(rig.doorPage->SluzaSel()->isEditable());
    QCOMPARE(Ctl<QLineEdit>(p, "DoorNameEd")->maxLength(), 15);
    QCOMPARE(Ctl<QLineEdit>(p, "RygTimEd")->maxLength(), 4);
    QVERIFY(Ctl<QGroupBox>(p, "DTstGrpBox")->isEnabled());
}

void DoorPageTest::unassignedAndAssignedPickers()
{
    Rig rig(1, 1);
    // Door 0 holds output 2 of the OC module (with NC) in the alarm slot, reader port 0 of the
    // reader with its exit flag.
    SetBlockSlot(rig.peer.blocks[0], 2, Id(1, 2) | kNcFlag);
    SetBlockSlot(rig.peer.blocks[0], 16, Id(2, 0));
    rig.peer.blocks[0][kParamOffset + 32] = 0x01;
    rig.Load();
    QWidget* p = rig.doorPage.get();

    // Unassigned: "  -----" selected, then every free resource of the kind; box disabled, clear.
    // The output-set module never shows among outputs.
    auto* out1 = Ctl<QComboBox>(p, "Out1Sel");
    QStringList freeOut = AllOutputs();
    freeOut.removeAll(Entry(1, "Out", 2));
    QCOMPARE(Texts(out1), With({kEmpty}, freeOut));
    QCOMPARE(out1->currentIndex(), 0);
    QVERIFY(!Ctl<QCheckBox>(p, "Out1Cb")->isEnabled());
    QVERIFY(!Ctl<QCheckBox>(p, "Out1Cb")->isChecked());

    // Assigned: the current resource first (its NC flag not shown), then "  -----", then the rest.
    auto* out2 = Ctl<QComboBox>(p, "Out2Sel");
    QCOMPARE(Texts(out2), With({Entry(1, "Out", 2), kEmpty}, freeOut));
    QCOMPARE(out2->currentIndex(), 0);
    QCOMPARE(out2->itemData(0).toUInt(), uint(Id(1, 2) | kNcFlag));
    QVERIFY(Ctl<QCheckBox>(p, "Out2Cb")->isEnabled());
    QVERIFY(Ctl<QCheckBox>(p, "Out2Cb")->isChecked());

    auto* rd0 = Ctl<QComboBox>(p, "Rd0Sel");
    QCOMPARE(Texts(rd0), QStringList({Entry(2, "Rd", 0), kEmpty, Entry(0, "Rd", 0), Entry(0, "Rd", 1)}));
    QVERIFY(Ctl<QCheckBox>(p, "Rd0Cb")->isChecked());
    QCOMPARE(Texts(Ctl<QComboBox>(p, "Rd1Sel")),
             QStringList({kEmpty, Entry(0, "Rd", 0), Entry(0, "Rd", 1)}));
    QCOMPARE(Texts(Ctl<QComboBox>(p, "In0Sel")), With({kEmpty}, AllInputs()));
}

void DoorPageTest::resourceLeavesAndReturnsAcrossDoors()
{
    Rig rig(1, 2);
    rig.Load();
    QWidget* p = rig.doorPage.get();
    const QString taken = Entry(1, "Out", 1);
    auto offeredBy = [&](int slot) { return RowOf(Ctl<QComboBox>(p, qPrintable(u"Out%1Sel"_s.arg(slot))), taken) >= 0; };

    Choose(Ctl<QComboBox>(p, "Out3Sel"), taken);
    QCOMPARE(rig.doors.doors[0].Output(3), Id(1, 1));
    QCOMPARE(Ctl<QComboBox>(p, "Out3Sel")->currentText(), taken);
    QCOMPARE(RowOf(Ctl<QComboBox>(p, "Out3Sel"), taken), 0);   // only as the current entry
    for (int slot : {0, 1, 2, 4, 5}) QVERIFY2(!offeredBy(slot), qPrintable(QString::number(slot)));

    rig.doorPage->DoorTc()->setCurrentIndex(1);
    for (int slot = 0; slot < 6; ++slot) QVERIFY(!offeredBy(slot));

    rig.doorPage->DoorTc()->setCurrentIndex(0);
    Choose(Ctl<QComboBox>(p, "Out3Sel"), kEmpty);
    QCOMPARE(rig.doors.doors[0].Output(3), kNoRes);
    for (int slot = 0; slot < 6; ++slot) QVERIFY(offeredBy(slot));
    rig.doorPage->DoorTc()->setCurrentIndex(1);
    QCOMPARE(Texts(Ctl<QComboBox>(p, "Out5Sel")), With({kEmpty}, AllOutputs()));
}

void DoorPageTest::lockRuleAndSensorPicker()
{
    Rig rig(1, 1);
    rig.Load();
    QWidget* p = rig.doorPage.get();
    auto* lock = Ctl<QComboBox>(p, "Out0Sel");
    auto* sensor = Ctl<QComboBox>(p, "In1Sel");

    // No lock: the sensor picker is disabled and offers nothing but the empty entry.
    QVERIFY(!sensor->isEnabled());
    QCOMPARE(Texts(sensor), QStringList({kEmpty}));

    // A lock on the controller: exactly the controller's free inputs.
    Choose(lock, Entry(0, "Out", 0));
    QVERIFY(sensor->isEnabled());
    QStringList controllerInputs;
    for (int n = 0; n < 6; ++n) controllerInputs << Entry(0, "In", n);
    QCOMPARE(Texts(sensor), With({kEmpty}, controllerInputs));
    Choose(Ctl<QComboBox>(p, "In0Sel"), Entry(0, "In", 0));   // another function takes input 1
    controllerInputs.removeFirst();
    QCOMPARE(Texts(sensor), With({kEmpty}, controllerInputs));

    Choose(sensor, Entry(0, "In", 2));
    QCOMPARE(rig.doors.doors[0].Input(1), Id(0, 2));

    // Another output of the same device keeps the sensor.
    Choose(lock, Entry(0, "Out", 3));
    QCOMPARE(rig.doors.doors[0].Output(0), Id(0, 3));
    QCOMPARE(rig.doors.doors[0].Input(1), Id(0, 2));
    QCOMPARE(sensor->currentText(), Entry(0, "In", 2));

    // An output of another device clears the sensor and frees its input.
    Choose(lock, Entry(1, "Out", 0));
    QCOMPARE(rig.doors.doors[0].Input(1), kNoRes);
    QVERIFY(RowOf(Ctl<QComboBox>(p, "In2Sel"), Entry(0, "In", 2)) > 0);
    QStringList moduleInputs;
    for (int n = 0; n < 4; ++n) moduleInputs << Entry(1, "In", n);
    QCOMPARE(Texts(sensor), With({kEmpty}, moduleInputs));

    // Clearing the lock clears the sensor and disables its picker.
    Choose(sensor, Entry(1, "In", 3));
    Choose(lock, kEmpty);
    QCOMPARE(rig.doors.doors[0].Input(1), kNoRes);
    QVERIFY(!sensor->isEnabled());
    QCOMPARE(Texts(sensor), QStringList({kEmpty}));
    QVERIFY(RowOf(Ctl<QComboBox>(p, "In2Sel"), Entry(1, "In", 3)) > 0);
}

void DoorPageTest::ncCarriesOverToOcOutputsAndInputs()
{
    Rig rig(1, 1);
    rig.Load();
    QWidget* p = rig.doorPage.get();
    auto* sel = Ctl<QComboBox>(p, "Out2Sel");
    auto* nc = Ctl<QCheckBox>(p, "Out2Cb");

    Choose(sel, Entry(1, "Out", 0));   // open-collector
    QVERIFY(nc->isEnabled());
    nc->click();
    QCOMPARE(rig.doors.doors[0].Output(2), Id(1, 0) | kNcFlag);

    Choose(sel, Entry(1, "Out", 3));   // another OC output keeps the flag
    QCOMPARE(rig.doors.doors[0].Output(2), Id(1, 3) | kNcFlag);
    QVERIFY(nc->isChecked());

    Choose(sel, Entry(0, "Out", 1));   // a relay output never gains it
    QCOMPARE(rig.doors.doors[0].Output(2), Id(0, 1));
    QVERIFY(!nc->isEnabled());
    QVERIFY(!nc->isChecked());

    Choose(sel, kEmpty);
    QCOMPARE(rig.doors.doors[0].Output(2), kNoRes);
    QVERIFY(!nc->isEnabled());

    // Inputs: any input may be NC, and the box's state carries over to the next input.
    auto* in = Ctl<QComboBox>(p, "In7Sel");
    auto* inNc = Ctl<QCheckBox>(p, "In7Cb");
    QVERIFY(!inNc->isEnabled());
    Choose(in, Entry(2, "In", 0));
    inNc->click();
    QCOMPARE(rig.doors.doors[0].Input(7), Id(2, 0) | kNcFlag);
    Choose(in, Entry(0, "In", 5));
    QCOMPARE(rig.doors.doors[0].Input(7), Id(0, 5) | kNcFlag);
    QVERIFY(inNc->isChecked());
    inNc->click();
    QCOMPARE(rig.doors.doors[0].Input(7), Id(0, 5));
    Choose(in, Entry(0, "In", 4));
    QCOMPARE(rig.doors.doors[0].Input(7), Id(0, 4));

    const auto written = rig.SaveAndCollect();
    QCOMPARE(written.size(), std::size_t{1});
    QCOMPARE(Slot16(written[0], 2), kNoRes);
    QCOMPARE(Slot16(written[0], 6 + 7), Id(0, 4));
}

void DoorPageTest::exitFlagBelongsToSlot()
{
    Rig rig(1, 1);
    rig.Load();
    QWidget* p = rig.doorPage.get();
    auto* sel = Ctl<QComboBox>(p, "Rd2Sel");
    auto* exitBox = Ctl<QCheckBox>(p, "Rd2Cb");
    QVERIFY(!exitBox->isEnabled());

    Choose(sel, Entry(2, "Rd", 0));
    QVERIFY(exitBox->isEnabled());
    QVERIFY(!exitBox->isChecked());
    exitBox->click();
    QVERIFY(rig.doors.doors[0].ExitReader(2));

    Choose(sel, kEmpty);
    QVERIFY(!exitBox->isEnabled());
    QVERIFY(!exitBox->isChecked());
    QVERIFY(rig.doors.doors[0].ExitReader(2));   // kept by the slot

    Choose(sel, Entry(0, "Rd", 1));
    QVERIFY(exitBox->isChecked());

    const auto written = rig.SaveAndCollect();
    QCOMPARE(written[0][kParam + 32 + 8], uint8_t{0x01});
    QCOMPARE(Slot16(written[0], 16 + 2), Id(0, 1));
}

void DoorPageTest::showingNeverRewritesRecords()
{
    Rig rig(1, 3);
    // Records a controller may hold that break the page's own rules, plus bytes nobody interprets.
    std::vector<uint8_t>& b0 = rig.peer.blocks[0];
    SetBlockSlot(b0, 0, Id(0, 1) | kNcFlag);   // lock: NC on a relay output
    SetBlockSlot(b0, 6 + 1, Id(1, 2));         // sensor on another device than the lock
    SetBlockSlot(b0, 6 + 4, Id(2, 1) | kNcFlag);
    SetBlockSlot(b0, 16, Id(2, 0));
    b0[kParamOffset + 0] = 0x37;               // type 7, upper bits set
    b0[kParamOffset + 2] = 0x7E;               // airlock 2 (beyond the list of 3 doors), handle, spare bits
    b0[kParamOffset + 4] = 9;
    b0[kParamOffset + 6] = 127;
    b0[kParamOffset + 32] = 0xF0;              // reader flags without the exit bit
    for (std::size_t i = 8; i < 32; ++i) b0[kParamOffset + i] = static_cast<uint8_t>(i * 7);
    const std::string name = Cp1250("Wejście") + std::string("\x81\0zz", 4);
    std::copy(name.begin(), name.end(), b0.begin() + kNameOffset);
    std::vector<uint8_t>& b1 = rig.peer.blocks[1];
    SetBlockSlot(b1, 6 + 2, Id(1, 2));         // the same input as door 0's sensor
    b1[kParamOffset + 1] = 0xAA;
    const std::array<std::vector<uint8_t>, 3> sent{rig.peer.blocks[0], rig.peer.blocks[1], rig.peer.blocks[2]};
    rig.Load();
    rig.Show(rig.doorPage.get());
    QWidget* p = rig.doorPage.get();

    // Shown as stored.
    QCOMPARE(Ctl<QComboBox>(p, "Out0Sel")->currentText(), Entry(0, "Out", 1));
    QVERIFY(Ctl<QCheckBox>(p, "Out0Cb")->isChecked());
    QVERIFY(!Ctl<QCheckBox>(p, "Out0Cb")->isEnabled());
    QCOMPARE(Ctl<QComboBox>(p, "In1Sel")->currentText(), Entry(1, "In", 2));
    QCOMPARE(Ctl<QComboBox>(p, "TypeCb")->currentIndex(), -1);
    QCOMPARE(rig.doorPage->SluzaSel()->currentIndex(), -1);
    QVERIFY(Ctl<QCheckBox>(p, "KlamkaCb")->isChecked());
    QCOMPARE(Ctl<QLineEdit>(p, "RygTimEd")->text(), u"4,5"_s);
    QCOMPARE(Ctl<QLineEdit>(p, "OpenTimEd")->text(), u"63,5"_s);
    QCOMPARE(Ctl<QLineEdit>(p, "DoorNameEd")->text(), u"Wejście?"_s);

    // Visit every tab and pass through both time fields without typing.
    for (int tab : {1, 2, 0}) {
        QTest::mouseClick(rig.doorPage->DoorTc(), Qt::LeftButton, {}, rig.doorPage->DoorTc()->tabRect(tab).center());
        QCOMPARE(rig.doorPage->DoorTc()->currentIndex(), tab);
        Ctl<QLineEdit>(p, "RygTimEd")->setFocus(Qt::TabFocusReason);
        Ctl<QLineEdit>(p, "OpenTimEd")->setFocus(Qt::TabFocusReason);
        Ctl<QLineEdit>(p, "DoorNameEd")->setFocus(Qt::TabFocusReason);
    }
    QVERIFY(!rig.fillingPage);

    const auto written = rig.SaveAndCollect();
    QCOMPARE(written.size(), std::size_t{3});
    for (std::size_t i = 0; i < 3; ++i) {
        QCOMPARE(written[i][0], uint8_t{1});
        QCOMPARE(written[i][1], uint8_t(i));
        QCOMPARE(std::vector<uint8_t>(written[i].begin() + 2, written[i].end()),
                 std::vector<uint8_t>(sent[i].begin() + kBlockHeader, sent[i].end()));
    }
}

void DoorPageTest::testGroupFollowsMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("editable");
    QTest::newRow("Blokada") << 0 << false;
    QTest::newRow("Konfiguracja") << 1 << false;
    QTest::newRow("Serwis") << 2 << false;
    QTest::newRow("Instalacja") << 3 << true;
}

void DoorPageTest::testGroupFollowsMode()
{
    QFETCH(int, mode);
    QFETCH(bool, editable);
    Rig rig(1, 1, StandardDevices(), 2);
    rig.peer.blocks[0][kParamOffset + 0] = 2;
    rig.peer.blocks[0][kParamOffset + 2] = 0x80;
    rig.peer.blocks[0][kParamOffset + 4] = 7;
    rig.Load();
    QWidget* p = rig.doorPage.get();

    // The mode is taken as polled, whether or not the configuration could be read in it.
    rig.peer.status = static_cast<uint8_t>(mode);
    QVERIFY(rig.dev.PollStatus());
    rig.doorPage->FillDoorPage();
    for (const char* name : {"DTstGrpBox", "KlamkaCb", "FullTimCb", "TypeCb", "TypeLb", "RygTimEd", "RygTimLb",
                             "RygTimsLb", "OpenTimEd", "OpenTimLb", "OpenTimsLb"})
        QCOMPARE(Ctl<QWidget>(p, name)->isEnabled(), editable);
    // Greyed out or not, the stored values show; the rest of the page stays editable.
    QVERIFY(Ctl<QCheckBox>(p, "FullTimCb")->isChecked());
    QCOMPARE(Ctl<QComboBox>(p, "TypeCb")->currentText(), u"Bistabilne"_s);
    QCOMPARE(Ctl<QLineEdit>(p, "RygTimEd")->text(), u"3,5"_s);
    QVERIFY(Ctl<QComboBox>(p, "Out1Sel")->isEnabled());
    QVERIFY(Ctl<QLineEdit>(p, "DoorNameEd")->isEnabled());
    QVERIFY(rig.doorPage->SluzaSel()->isEnabled());
}

void DoorPageTest::timeFields_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("whole") << u"3"_s << 6 << u"3"_s;
    QTest::newRow("half") << u"2,5"_s << 5 << u"2,5"_s;
    QTest::newRow("seven tenths") << u"2,7"_s << 5 << u"2,5"_s;
    QTest::newRow("four tenths") << u"2,4"_s << 4 << u"2"_s;
    QTest::newRow("point stops") << u"2.5"_s << 4 << u"2"_s;
    QTest::newRow("negative") << u"-1"_s << 0 << u"0"_s;
    QTest::newRow("too long") << u"99"_s << 127 << u"63,5"_s;
    QTest::newRow("limit") << u"63,9"_s << 127 << u"63,5"_s;
    QTest::newRow("letters") << u"ab"_s << 0 << u"0"_s;
    QTest::newRow("empty") << QString() << 0 << u"0"_s;
}

void DoorPageTest::timeFields()
{
    QFETCH(QString, typed);
    QFETCH(int, stored);
    QFETCH(QString, shown);
    Rig rig(1, 2);
    rig.peer.blocks[1][kParamOffset + 4] = 11;
    rig.peer.blocks[1][kParamOffset + 6] = 12;
    rig.Load();
    rig.Show(rig.doorPage.get());
    QWidget* p = rig.doorPage.get();
    rig.doorPage->DoorTc()->setCurrentIndex(1);

    TypeAndLeave(Ctl<QLineEdit>(p, "RygTimEd"), typed, Ctl<QWidget>(p, "DoorNameEd"));
    QCOMPARE(int(rig.doors.doors[1].LockTime()), stored);
    QCOMPARE(Ctl<QLineEdit>(p, "RygTimEd")->text(), shown);
    TypeAndLeave(Ctl<QLineEdit>(p, "OpenTimEd"), typed, Ctl<QWidget>(p, "Out0Sel"));
    QCOMPARE(int(rig.doors.doors[1].OpenTime()), stored);
    QCOMPARE(Ctl<QLineEdit>(p, "OpenTimEd")->text(), shown);
    QCOMPARE(int(rig.doors.doors[0].LockTime()), 0);

    const auto written = rig.SaveAndCollect();
    QCOMPARE(int(written[1][kParam + 4]), stored);
    QCOMPARE(int(written[1][kParam + 6]), stored);
}

void DoorPageTest::typedTimeLandsBeforeTabClickAndSave()
{
    Rig rig(1, 2);
    rig.Load();
    rig.Show(rig.doorPage.get());
    QWidget* p = rig.doorPage.get();
    auto* lockTime = Ctl<QLineEdit>(p, "RygTimEd");
    auto* openTime = Ctl<QLineEdit>(p, "OpenTimEd");

    // Typed on door 1, then a click on tab "2": the value belongs to door 1.
    lockTime->setFocus(Qt::MouseFocusReason);
    lockTime->selectAll();
    TypeText(lockTime, u"5"_s);
    QTest::mouseClick(rig.doorPage->DoorTc(), Qt::LeftButton, {}, rig.doorPage->DoorTc()->tabRect(1).center());
    QCOMPARE(rig.doorPage->DoorTc()->currentIndex(), 1);
    QCOMPARE(int(rig.doors.doors[0].LockTime()), 10);
    QCOMPARE(int(rig.doors.doors[1].LockTime()), 0);
    QCOMPARE(lockTime->text(), u"0"_s);

    // The same when the tab changes while the field keeps the focus (keyboard, or a shell call).
    openTime->setFocus(Qt::MouseFocusReason);
    openTime->selectAll();
    TypeText(openTime, u"1,5"_s);
    rig.doorPage->DoorTc()->setCurrentIndex(0);
    QCOMPARE(int(rig.doors.doors[1].OpenTime()), 3);
    QCOMPARE(int(rig.doors.doors[0].OpenTime()), 0);
    QCOMPARE(lockTime->text(), u"5"_s);

    // Typed and still in the field when "Zapisz" is pressed: CommitEdits takes it over first.
    openTime->selectAll();
    TypeText(openTime, u"7"_s);
    QVERIFY(openTime->hasFocus());
    rig.doorPage->CommitEdits();
    QCOMPARE(openTime->text(), u"7"_s);
    const auto written = rig.SaveAndCollect();
    QCOMPARE(written.size(), std::size_t{2});
    QCOMPARE(int(written[0][kParam + 4]), 10);
    QCOMPARE(int(written[0][kParam + 6]), 14);
    QCOMPARE(int(written[1][kParam + 6]), 3);
}

void DoorPageTest::pollFillKeepsTimeBeingTyped()
{
    Rig rig(1, 2);
    rig.peer.blocks[0][kParamOffset + 4] = 6;
    rig.Load();
    rig.Show(rig.doorPage.get());
    QWidget* p = rig.doorPage.get();
    auto* lockTime = Ctl<QLineEdit>(p, "RygTimEd");
    lockTime->setFocus(Qt::MouseFocusReason);
    lockTime->selectAll();
    TypeText(lockTime, u"2,"_s);

    rig.doorPage->FillDoorPage();   // the shell's poll refills the page between two key presses
    QCOMPARE(lockTime->text(), u"2,"_s);
    QCOMPARE(int(rig.doors.doors[0].LockTime()), 6);
    TypeText(lockTime, u"5"_s);
    Ctl<QWidget>(p, "DoorNameEd")->setFocus(Qt::MouseFocusReason);
    QCOMPARE(int(rig.doors.doors[0].LockTime()), 5);
    QCOMPARE(lockTime->text(), u"2,5"_s);

    // A configuration read anew (the shell rebuilds the tabs) drops what was being typed on the
    // door shown before: it neither shows nor lands in door 1 of the new records.
    rig.doorPage->DoorTc()->setCurrentIndex(1);
    lockTime->setFocus(Qt::MouseFocusReason);
    lockTime->selectAll();
    TypeText(lockTime, u"9"_s);
    rig.doors.Load(rig.dev);
    rig.doorPage->SetDoorTabs(rig.devs.doorCount);
    rig.doorPage->FillDoorPage();
    QCOMPARE(rig.doorPage->DoorTc()->currentIndex(), 0);
    QCOMPARE(lockTime->text(), u"3"_s);
    Ctl<QWidget>(p, "DoorNameEd")->setFocus(Qt::MouseFocusReason);
    QCOMPARE(int(rig.doors.doors[0].LockTime()), 6);
    QCOMPARE(int(rig.doors.doors[1].LockTime()), 0);
}

void DoorPageTest::airlockEntries_data()
{
    QTest::addColumn<int>("doors");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("1 door") << 1 << QStringList({kEmpty});
    QTest::newRow("3 doors") << 3 << QStringList({kEmpty, u"Śluza 1"_s});
    QTest::newRow("8 doors") << 8
                             << QStringList({kEmpty, u"Śluza 1"_s, u"Śluza 2"_s, u"Śluza 3"_s, u"Śluza 4"_s});
}

void DoorPageTest::airlockEntries()
{
    QFETCH(int, doors);
    QFETCH(QStringList, entries);
    Rig rig(1, doors);
    rig.Load();
    QCOMPARE(Texts(rig.doorPage->SluzaSel()), entries);
    QCOMPARE(rig.doorPage->SluzaSel()->currentIndex(), 0);
    QCOMPARE(rig.doorPage->DoorTc()->count(), doors);
    QCOMPARE(rig.doorPage->DoorTc()->tabText(doors - 1), QString::number(doors));
}

void DoorPageTest::airlockChoices()
{
    Rig rig(1, 3);
    rig.peer.blocks[1][kParamOffset + 2] = 0x46;   // member of airlock 2, handle opening
    rig.Load();
    rig.Show(rig.doorPage.get());
    QComboBox* sluza = rig.doorPage->SluzaSel();
    rig.doorPage->DoorTc()->setCurrentIndex(1);
    QCOMPARE(sluza->currentIndex(), -1);   // airlock 3 is not in the list of three doors

    ChooseRow(sluza, 0);
    QCOMPARE(int(rig.doors.doors[1].Param(2)), 0x42);   // membership cleared, number kept
    QCOMPARE(rig.doors.Airlock(1), -1);
    Choose(sluza, u"Śluza 1"_s);
    QCOMPARE(int(rig.doors.doors[1].Param(2)), 0x44);

    // Typed text: an entry's exact text selects it; anything else counts as no airlock.
    sluza->lineEdit()->setFocus(Qt::MouseFocusReason);
    sluza->lineEdit()->selectAll();
    TypeText(sluza->lineEdit(), u"Śluza 9"_s);
    QCOMPARE(rig.doors.Airlock(1), -1);
    sluza->lineEdit()->selectAll();
    TypeText(sluza->lineEdit(), u"Śluza 1"_s);
    QCOMPARE(rig.doors.Airlock(1), 0);
    QCOMPARE(sluza->count(), 2);   // typing never adds an entry
    QCOMPARE(rig.doors.Airlock(0), -1);
}

void DoorPageTest::nameOfFifteenPolishCharacters()
{
    Rig rig(1, 2);
    rig.Load();
    rig.Show(rig.doorPage.get());
    auto* name = Ctl<QLineEdit>(rig.doorPage.get(), "DoorNameEd");
    name->setFocus(Qt::MouseFocusReason);
    const QString typed = u"Zażółć gęślą ja"_s;
    QCOMPARE(typed.size(), 15);
    TypeText(name, typed + u"ź"_s);   // the sixteenth character is refused
    QCOMPARE(name->text(), typed);
    QCOMPARE(rig.doors.DoorName(0), Cp1250("Zażółć gęślą ja"));

    rig.doorPage->DoorTc()->setCurrentIndex(1);
    QCOMPARE(name->text(), QString());
    rig.doorPage->DoorTc()->setCurrentIndex(0);
    QCOMPARE(name->text(), typed);

    const auto written = rig.SaveAndCollect();
    const std::string expected = Cp1250("Zażółć gęślą ja") + '\0';
    QCOMPARE(std::string(written[0].begin() + kParam + 48, written[0].end()), expected);
    QCOMPARE(std::string(written[1].begin() + kParam + 48, written[1].end()), std::string(16, '\0'));

    // A character cp1250 lacks is stored as "?".
    name->selectAll();
    TypeText(name, u"Дверь"_s);
    QCOMPARE(rig.doors.DoorName(0), std::string("?????"));
}

void DoorPageTest::doorTypeAndFlags()
{
    Rig rig(1, 1);
    rig.peer.blocks[0][kParamOffset + 0] = 0xA5;   // type 5: no entry; upper bits not interpreted
    rig.peer.blocks[0][kParamOffset + 2] = 0x25;
    rig.Load();
    QWidget* p = rig.doorPage.get();
    QCOMPARE(Ctl<QComboBox>(p, "TypeCb")->currentIndex(), -1);

    Choose(Ctl<QComboBox>(p, "TypeCb"), u"Bistabilne"_s);
    QCOMPARE(int(rig.doors.doors[0].Param(0)), 0xA2);
    Ctl<QCheckBox>(p, "KlamkaCb")->click();
    QCOMPARE(int(rig.doors.doors[0].Param(2)), 0x65);
    Ctl<QCheckBox>(p, "FullTimCb")->click();
    QCOMPARE(int(rig.doors.doors[0].Param(2)), 0xE5);
    Ctl<QCheckBox>(p, "KlamkaCb")->click();
    QCOMPARE(int(rig.doors.doors[0].Param(2)), 0xA5);

    const auto written = rig.SaveAndCollect();
    QCOMPARE(int(written[0][kParam + 0]), 0xA2);
    QCOMPARE(int(written[0][kParam + 2]), 0xA5);
}

void DoorPageTest::changedBusKeepsUnsavedEdits()
{
    Rig rig(1, 2);
    rig.Load();
    rig.Show(rig.doorPage.get());
    QWidget* p = rig.doorPage.get();
    Choose(Ctl<QComboBox>(p, "Out1Sel"), Entry(1, "Out", 2));
    Choose(Ctl<QComboBox>(p, "In4Sel"), Entry(0, "In", 3));
    TypeAndLeave(Ctl<QLineEdit>(p, "DoorNameEd"), u"Brama"_s, Ctl<QWidget>(p, "Out0Sel"));

    // A device joins the bus: the poll decodes the new list, the maps are rebuilt from the edited
    // records and the page is filled again (what the shell's timer does).
    std::vector<DevSpec> devices = StandardDevices();
    devices.push_back({MakeId(713, 8), 1, 0x10, 2, 2, 0, 0});
    rig.peer.deviceList = DeviceListBlock(1, 2, devices);
    QVERIFY(rig.devs.Poll(rig.dev));
    rig.doors.RebuildMaps();
    rig.FillConfigPage();

    QCOMPARE(Ctl<QComboBox>(p, "Out1Sel")->currentText(), Entry(1, "Out", 2));
    QCOMPARE(Ctl<QLineEdit>(p, "DoorNameEd")->text(), u"Brama"_s);
    auto* out2 = Ctl<QComboBox>(p, "Out2Sel");
    QCOMPARE(RowOf(out2, Entry(1, "Out", 2)), -1);
    QVERIFY(RowOf(out2, u"D113_00008:Out2"_s) > 0);
    QCOMPARE(RowOf(Ctl<QComboBox>(p, "In0Sel"), Entry(0, "In", 3)), -1);

    const auto written = rig.SaveAndCollect();
    QCOMPARE(Slot16(written[0], 1), Id(1, 2));
    QCOMPARE(Slot16(written[0], 6 + 4), Id(0, 3));
    QCOMPARE(std::string(reinterpret_cast<const char*>(&written[0][kParam + 48])), std::string("Brama"));
}

void DoorPageTest::firstFreeEntriesOnTheLargestBus()
{
    // 108 devices of 31 outputs, 31 inputs and 3 readers: more free outputs and inputs than 2560.
    std::vector<DevSpec> devices{{MakeId(305, 1), 1, 0, 31, 0, 31, 3}};
    for (uint32_t i = 1; i < 108; ++i) devices.push_back({MakeId(712, i), 1, 0, 31, 31, 31, 3});
    Rig rig(1, 8, devices);
    rig.Load();
    auto* out = Ctl<QComboBox>(rig.doorPage.get(), "Out5Sel");
    QCOMPARE(out->count(), 1 + 2560);
    // Offering order: the controller first, then the modules by serial number; 2560 = 82 * 31 + 18.
    QCOMPARE(out->itemText(1), u"K105_00001:Out1"_s);
    QCOMPARE(out->itemText(2560), u"D112_00082:Out18"_s);
    QCOMPARE(out->itemData(2560).toUInt(), uint(Id(82, 17)));
    QCOMPARE(Ctl<QComboBox>(rig.doorPage.get(), "Rd0Sel")->count(), 1 + 108 * 3);

    // Choosing the last entry frees nothing else: the next free output moves up into the list.
    ChooseRow(out, 2560);
    QCOMPARE(rig.doors.doors[0].Output(5), Id(82, 17));
    QCOMPARE(out->count(), 2 + 2560);
    QCOMPARE(out->itemText(2 + 2559), u"D112_00082:Out19"_s);
}

void DoorPageTest::userPicksWithKeyboardAndPopup()
{
    Rig rig(1, 1);
    rig.Load();
    rig.Show(rig.doorPage.get());
    QWidget* p = rig.doorPage.get();

    // Down on a closed list chooses the next entry; the page refills inside that choice.
    auto* out1 = Ctl<QComboBox>(p, "Out1Sel");
    out1->setFocus(Qt::TabFocusReason);
    QTest::keyClick(out1, Qt::Key_Down);
    QCOMPARE(rig.doors.doors[0].Output(1), Id(0, 0));
    QCOMPARE(out1->currentText(), Entry(0, "Out", 0));
    QTest::keyClick(out1, Qt::Key_Down);   // "  -----"
    QCOMPARE(rig.doors.doors[0].Output(1), kNoRes);

    // A click on an entry of the open list.
    auto* in3 = Ctl<QComboBox>(p, "In3Sel");
    in3->showPopup();
    QAbstractItemView* view = in3->view();
    QTRY_VERIFY(view->isVisible());
    const QModelIndex target = view->model()->index(3, 0);
    view->scrollTo(target);
    QTest::qWait(QApplication::doubleClickInterval() + 50);   // a release this soon would only close the list
    const QPoint onEntry(view->viewport()->width() / 2, view->visualRect(target).center().y());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, onEntry);
    QTRY_VERIFY(!view->isVisible());
    QCOMPARE(rig.doors.doors[0].Input(3), Id(0, 2));
    QCOMPARE(in3->currentText(), Entry(0, "In", 2));
}

void DoorPageTest::openListShowsWholeEntries()
{
    // The programs run in Qt's Windows style (see RunProgram), whose open list is no wider than
    // its picker unless the picker makes it so.
    const QString before = QApplication::style()->name();
    QApplication::setStyle(u"windows"_s);
    const auto restore = qScopeGuard([&] { QApplication::setStyle(before); });
    // Two-digit output numbers on the largest bus: the longest entries of any picker.
    std::vector<DevSpec> devices{{MakeId(305, 1), 1, 0, 31, 0, 31, 3}};
    for (uint32_t i = 1; i < 108; ++i) devices.push_back({MakeId(712, 11110 + i), 1, 0, 31, 31, 31, 3});
    Rig rig(1, 1, devices);
    rig.Load();
    rig.Show(rig.doorPage.get());
    auto* out = Ctl<QComboBox>(rig.doorPage.get(), "Out2Sel");
    out->showPopup();
    QAbstractItemView* view = out->view();
    QTRY_VERIFY(view->isVisible());

    // The list's text area, beside its scroll bar, holds the widest entry whole.
    const QFontMetrics metrics(view->font());
    int widest = 0;
    for (int row = 0; row < out->count(); ++row) widest = std::max(widest, metrics.horizontalAdvance(out->itemText(row)));
    QVERIFY(widest > 113);
    const int scrollBar = view->verticalScrollBar()->isVisible() ? view->verticalScrollBar()->width() : 0;
    QVERIFY2(view->viewport()->width() >= widest, qPrintable(u"%1 < %2"_s.arg(view->viewport()->width()).arg(widest)));
    QVERIFY(view->width() >= widest + scrollBar);
    out->hidePopup();
    // The closed picker keeps its size.
    QCOMPARE(out->size(), QSize(113, 22));
}

void DoorPageTest::boxesChangeNothingWhileAPageFills()
{
    // While FillingPage is set, a page sets its boxes from the model; their clicks must not write
    // back. Every companion box and test-group control of both pages is tried.
    Rig rig(1, 1);
    rig.Load();
    QWidget* p = rig.doorPage.get();
    Choose(Ctl<QComboBox>(p, "Out0Sel"), Entry(1, "Out", 0));   // open-collector: its NC box is live
    Choose(Ctl<QComboBox>(p, "In0Sel"), Entry(0, "In", 0));
    Choose(Ctl<QComboBox>(p, "Rd0Sel"), Entry(2, "Rd", 0));
    const DoorCfg before = rig.doors.doors[0];
    const char* const boxes[] = {"Out0Cb", "In0Cb", "Rd0Cb", "KlamkaCb", "FullTimCb"};
    rig.fillingPage = true;
    for (const char* box : boxes) {
        QVERIFY2(Ctl<QCheckBox>(p, box)->isEnabled(), box);
        Ctl<QCheckBox>(p, box)->click();
    }
    Choose(Ctl<QComboBox>(p, "TypeCb"), u"Zablokowane"_s);
    QVERIFY(rig.doors.doors[0] == before);

    // Once the fill is over (it sets the boxes from the model again), the same clicks are edits.
    rig.fillingPage = false;
    rig.FillConfigPage();
    for (const char* box : boxes) Ctl<QCheckBox>(p, box)->click();
    Choose(Ctl<QComboBox>(p, "TypeCb"), u"Zablokowane"_s);
    const DoorCfg& after = rig.doors.doors[0];
    QVERIFY(ResHasNc(after.Output(0)) != ResHasNc(before.Output(0)));
    QVERIFY(ResHasNc(after.Input(0)) != ResHasNc(before.Input(0)));
    QVERIFY(after.ExitReader(0) != before.ExitReader(0));
    QVERIFY(after.Handle() != before.Handle());
    QVERIFY(after.FullPulse() != before.FullPulse());
    QCOMPARE(after.Type(), 4);

    Rig lift(2, 1, {{MakeId(305, 42), 1, 0, 4, 0, 6, 2}});
    lift.Load();
    Choose(Ctl<QComboBox>(lift.liftPage.get(), "LIn3Sel"), Entry(0, "In", 1));
    const LiftCfg liftBefore = lift.lift.lift;
    lift.fillingPage = true;
    Ctl<QCheckBox>(lift.liftPage.get(), "LIn3Cb")->click();
    QVERIFY(lift.lift.lift == liftBefore);
    lift.fillingPage = false;
    lift.FillConfigPage();
    Ctl<QCheckBox>(lift.liftPage.get(), "LIn3Cb")->click();
    QVERIFY(ResHasNc(lift.lift.lift.Input(3)));
}

QTEST_MAIN(DoorPageTest)
#include "tst_doorpage.moc"
