// The lift page against a controller peer: floor groups on output sets, inputs 3 to 7 with NC,
// readers, name, the button unlock time, and what "Zapisz" then sends.
#include <QGroupBox>
#include <QLabel>
#include <QtTest>

#include "tests/common/cp1250.h"
#include "tests/editors/rig.h"

using namespace Qt::StringLiterals;

namespace {

constexpr std::size_t kParam = 2 + 40;   // parameter area in a c payload (kind, index, record)

// The lift controller's bus, in slot order; display order: slot 0, then 4, 3, 1, 2 by type code.
//   slot 0  K106_00050  lift controller: 4 relay outputs, 6 inputs, 2 readers
//   slot 1  D120_00009  two output sets, 2 inputs
//   slot 2  D121_00003  one output set
//   slot 3  D112_00005  4 open-collector outputs, 4 inputs
//   slot 4  R107_00007  2 inputs, 1 reader port
std::vector<DevSpec> LiftDevices()
{
    return {
        {MakeId(306, 50), 1, 0, 4, 0, 6, 2}, {MakeId(720, 9), 1, 0, 0x82, 0, 2, 0},
        {MakeId(721, 3), 1, 0, 0x81, 0, 0, 0}, {MakeId(712, 5), 1, 0, 4, 4, 4, 0},
        {MakeId(7, 7), 1, 0, 0, 0, 2, 1},
    };
}

// Output sets read as their device and set number, like outputs, inputs and readers.
const QString kSets2a = u"D120_00009:Set1"_s;
const QString kSets2b = u"D120_00009:Set2"_s;
const QString kSet1 = u"D121_00003:Set1"_s;

ResId Id(int device, int number) { return MakeRes(device, number); }

QString In(const char* dev, int number) { return QLatin1String(dev) + u":In"_s + QString::number(number + 1); }

}  // namespace

class LiftPageTest : public QObject {
    Q_OBJECT

private slots:
    void captionsAndInitialState();
    void floorGroupsOnOutputSets();
    void inputsReadersAndHiddenSlots();
    void unlockTime_data();
    void unlockTime();
    void testGroupFollowsMode_data();
    void testGroupFollowsMode();
};

void LiftPageTest::captionsAndInitialState()
{
    Rig rig(2, 1, LiftDevices());
    QWidget* p = rig.liftPage.get();
    const QList<std::pair<const char*, QString>> groups{{"StopGrpBox", u" Poziomy "_s},
                                                        {"LiftRdGrpBox", u" Czytniki "_s},
                                                        {"GroupBox1", u" Wejścia "_s},
                                                        {"LTstGrpBox", u" Testowanie "_s}};
    for (const auto& [name, caption] : groups) QCOMPARE(Ctl<QGroupBox>(p, name)->title(), caption);
    QCOMPARE(Ctl<QGroupBox>(p, "StopGrpBox")->geometry(), QRect(24, 56, 201, 289));
    QCOMPARE(Ctl<QGroupBox>(p, "LTstGrpBox")->geometry(), QRect(240, 272, 297, 73));
    const QList<std::pair<const char*, QString>> labels{
        {"LOutSet0Lb", u"1..8:"_s},         {"LOutSet7Lb", u"57..64:"_s},   {"LIn3Lb", u"Tamper 1:"_s},
        {"LIn6Lb", u"Brak zasilania AC:"_s}, {"LIn7Lb", u"Akumulator:"_s}, {"LRd3Lb", u"4:"_s},
        {"LiftNameLb", u"Nazwa windy:"_s},  {"LiftTimLb", u"Czas odblokowania przycisków:"_s},
        {"LiftTimsLb", u"s"_s}};
    for (const auto& [name, caption] : labels) QCOMPARE(Ctl<QLabel>(p, name)->text(), caption);

    // Eight floor groups, inputs 3 to 7 with NC boxes, four readers without boxes; nothing for
    // input slots 0 to 2.
    const auto pickers = p->findChildren<QComboBox*>();
    QCOMPARE(pickers.size(), 8 + 5 + 4);
    for (QComboBox* c : pickers) QCOMPARE(c->size(), QSize(113, 22));
    QCOMPARE(p->findChildren<QCheckBox*>().size(), 5);
    QVERIFY(p->findChild<QComboBox*>(u"LIn2Sel"_s) == nullptr);
    QCOMPARE(Ctl<QLineEdit>(p, "LiftNameEd")->maxLength(), 15);
    QCOMPARE(Ctl<QLineEdit>(p, "LiftTimEd")->maxLength(), 4);
    QCOMPARE(Ctl<QLineEdit>(p, "LiftTimEd")->geometry(), QRect(200, 31, 33, 22));
    QVERIFY(Ctl<QGroupBox>(p, "LTstGrpBox")->isEnabled());
}

void LiftPageTest::floorGroupsOnOutputSets()
{
    Rig rig(2, 1, LiftDevices());
    rig.Load();
    QWidget* p = rig.liftPage.get();
    auto floor = [&](int slot) { return Ctl<QComboBox>(p, qPrintable(u"LOutSet%1Sel"_s.arg(slot))); };

    // Only devices with output sets, one entry per free set; the two sets of one device are told
    // apart by their numbers.
    QCOMPARE(Texts(floor(0)), QStringList({kEmpty, kSets2a, kSets2b, kSet1}));
    QCOMPARE(floor(0)->itemData(1).toUInt(), uint(Id(1, 0)));
    QCOMPARE(floor(0)->itemData(2).toUInt(), uint(Id(1, 1)));

    // The only set of D121 taken by floors 1..8 leaves the other seven groups.
    Choose(floor(0), kSet1);
    QCOMPARE(rig.lift.lift.OutputSet(0), Id(2, 0));
    QCOMPARE(Texts(floor(0)), QStringList({kSet1, kEmpty, kSets2a, kSets2b}));
    for (int slot = 1; slot < 8; ++slot) QCOMPARE(Texts(floor(slot)), QStringList({kEmpty, kSets2a, kSets2b}));

    // The second set of the device stores the second set, unchanged (no NC flag), and is the
    // current entry of its picker under its own number.
    Choose(floor(5), kSets2b);
    QCOMPARE(rig.lift.lift.OutputSet(5), Id(1, 1));
    QCOMPARE(floor(5)->currentText(), kSets2b);
    QCOMPARE(Texts(floor(6)), QStringList({kEmpty, kSets2a}));
    QCOMPARE(floor(6)->itemData(1).toUInt(), uint(Id(1, 0)));

    Choose(floor(0), kEmpty);
    QCOMPARE(Texts(floor(6)), QStringList({kEmpty, kSets2a, kSet1}));

    const auto written = rig.SaveAndCollect();
    QCOMPARE(written.size(), std::size_t{1});
    QCOMPARE(written[0][0], uint8_t{2});
    QCOMPARE(written[0][1], uint8_t{0});
    QCOMPARE(Slot16(written[0], 0), kNoRes);
    QCOMPARE(Slot16(written[0], 5), Id(1, 1));
}

void LiftPageTest::inputsReadersAndHiddenSlots()
{
    Rig rig(2, 1, LiftDevices());
    std::vector<uint8_t>& block = rig.peer.blocks[0];
    SetBlockSlot(block, 8 + 0, Id(0, 0) | kNcFlag);   // input slots 0-2: never shown
    SetBlockSlot(block, 8 + 1, Id(3, 1));
    SetBlockSlot(block, 8 + 2, 0x1234);
    for (std::size_t i = 0; i < 48; ++i) block[kParamOffset + i] = static_cast<uint8_t>(i % 100);
    const std::vector<uint8_t> sent = block;
    rig.Load();
    rig.Show(rig.liftPage.get());
    QWidget* p = rig.liftPage.get();
    auto* tamper1 = Ctl<QComboBox>(p, "LIn3Sel");
    auto* nc = Ctl<QCheckBox>(p, "LIn3Cb");

    // Resources of slots 0-2 stay taken.
    QCOMPARE(RowOf(tamper1, In("K106_00050", 0)), -1);
    QCOMPARE(RowOf(tamper1, In("D112_00005", 1)), -1);
    QCOMPARE(Texts(tamper1).mid(0, 3), QStringList({kEmpty, In("K106_00050", 1), In("K106_00050", 2)}));
    QVERIFY(!nc->isEnabled());

    // Edits: inputs with NC carried over, a reader, a name; repeated to and fro.
    for (int round = 0; round < 3; ++round) {
        Choose(tamper1, In("K106_00050", 1));
        if (!nc->isChecked()) nc->click();
        Choose(tamper1, In("K106_00050", 2));
        Choose(Ctl<QComboBox>(p, "LIn7Sel"), In("R107_00007", 0));
        Choose(Ctl<QComboBox>(p, "LRd0Sel"), u"R107_00007:Rd1"_s);
        Choose(Ctl<QComboBox>(p, "LIn7Sel"), kEmpty);
        Choose(Ctl<QComboBox>(p, "LIn7Sel"), In("D112_00005", 3));
    }
    QCOMPARE(rig.lift.lift.Input(3), Id(0, 2) | kNcFlag);
    QVERIFY(nc->isChecked());
    QVERIFY(!Ctl<QCheckBox>(p, "LIn7Cb")->isChecked());
    TypeAndLeave(Ctl<QLineEdit>(p, "LiftNameEd"), u"Winda główna"_s, tamper1);

    // A device joins the bus: the poll rebuilds the maps from the edited record and refills.
    std::vector<DevSpec> devices = LiftDevices();
    devices.push_back({MakeId(722, 4), 1, 0x10, 0x83, 0, 1, 0});
    rig.peer.deviceList = DeviceListBlock(2, 1, devices);
    QVERIFY(rig.devs.Poll(rig.dev));
    rig.lift.RebuildMaps();
    rig.FillConfigPage();
    QCOMPARE(tamper1->currentText(), In("K106_00050", 2));
    QCOMPARE(RowOf(tamper1, In("K106_00050", 0)), -1);
    QCOMPARE(RowOf(Ctl<QComboBox>(p, "LIn4Sel"), In("D112_00005", 3)), -1);
    const QStringList floors = Texts(Ctl<QComboBox>(p, "LOutSet0Sel"));
    for (const char* set : {"D122_00004:Set1", "D122_00004:Set2", "D122_00004:Set3"}) QVERIFY(floors.contains(QString::fromLatin1(set)));
    QCOMPARE(Ctl<QLineEdit>(p, "LiftNameEd")->text(), u"Winda główna"_s);

    const auto written = rig.SaveAndCollect();
    QCOMPARE(written.size(), std::size_t{1});
    const std::vector<uint8_t>& w = written[0];
    for (int slot = 8; slot < 11; ++slot) QCOMPARE(Slot16(w, slot), BlockSlot(sent, slot));
    QCOMPARE(Slot16(w, 8 + 3), Id(0, 2) | kNcFlag);
    QCOMPARE(Slot16(w, 8 + 7), Id(3, 3));
    QCOMPARE(Slot16(w, 16), Id(4, 0));
    QCOMPARE(std::vector<uint8_t>(w.begin() + kParam, w.begin() + kParam + 48),
             std::vector<uint8_t>(sent.begin() + kParamOffset, sent.begin() + kNameOffset));
    QCOMPARE(std::string(w.begin() + kParam + 48, w.end()), Cp1250("Winda główna") + std::string(4, '\0'));
}

void LiftPageTest::unlockTime_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("whole") << u"10"_s << 20 << u"10"_s;
    QTest::newRow("half") << u"7,5"_s << 15 << u"7,5"_s;
    QTest::newRow("limit") << u"64"_s << 127 << u"63,5"_s;
    QTest::newRow("letters") << u"x1"_s << 0 << u"0"_s;
}

void LiftPageTest::unlockTime()
{
    QFETCH(QString, typed);
    QFETCH(int, stored);
    QFETCH(QString, shown);
    Rig rig(2, 1, LiftDevices());
    rig.peer.blocks[0][kParamOffset + 4] = 255;   // limited to 127 when read
    rig.Load();
    rig.Show(rig.liftPage.get());
    QWidget* p = rig.liftPage.get();
    auto* field = Ctl<QLineEdit>(p, "LiftTimEd");
    QCOMPARE(field->text(), u"63,5"_s);

    TypeAndLeave(field, typed, Ctl<QWidget>(p, "LiftNameEd"));
    QCOMPARE(int(rig.lift.lift.UnlockTime()), stored);
    QCOMPARE(field->text(), shown);

    // Typed and still in the field when "Zapisz" is pressed.
    field->setFocus(Qt::MouseFocusReason);
    field->selectAll();
    TypeText(field, u"1,5"_s);
    rig.liftPage->CommitEdits();
    QCOMPARE(int(rig.lift.lift.UnlockTime()), 3);
    QCOMPARE(int(rig.SaveAndCollect()[0][kParam + 4]), 3);
}

void LiftPageTest::testGroupFollowsMode_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("editable");
    QTest::newRow("Konfiguracja") << 1 << false;
    QTest::newRow("Serwis") << 2 << false;
    QTest::newRow("Instalacja") << 3 << true;
}

void LiftPageTest::testGroupFollowsMode()
{
    QFETCH(int, mode);
    QFETCH(bool, editable);
    Rig rig(2, 1, LiftDevices(), 2);
    rig.peer.blocks[0][kParamOffset + 4] = 9;
    rig.Load();
    rig.peer.status = static_cast<uint8_t>(mode);
    QVERIFY(rig.dev.PollStatus());
    rig.liftPage->FillLiftPage();
    QWidget* p = rig.liftPage.get();
    for (const char* name : {"LTstGrpBox", "LiftTimEd", "LiftTimLb", "LiftTimsLb"})
        QCOMPARE(Ctl<QWidget>(p, name)->isEnabled(), editable);
    QCOMPARE(Ctl<QLineEdit>(p, "LiftTimEd")->text(), u"4,5"_s);
    QVERIFY(Ctl<QComboBox>(p, "LOutSet0Sel")->isEnabled());
    QVERIFY(Ctl<QLineEdit>(p, "LiftNameEd")->isEnabled());
}

QTEST_MAIN(LiftPageTest)
#include "tst_liftpage.moc"
