#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>

#include "editors/editors.h"
#include "editors/layout.h"
#include "editors/pickers.h"
#include "model/ctrlcfg.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kOutSlots = 6;
constexpr int kInSlots = 10;
constexpr int kRdSlots = 4;

// The tab control's place on the page; the page's own buttons lie below it.
constexpr QRect kDoorTcRect(8, 8, 617, 553);

}  // namespace

struct TDoorPage::Impl {
    Impl(EditorModel m, bool& flag)
        : model(std::move(m)), filling(flag), freeOut(model.devs, ResKind::Output),
          freeIn(model.devs, ResKind::Input), freeRd(model.devs, ResKind::Reader)
    {
    }

    EditorModel model;
    bool& filling;
    FreeEntries freeOut;
    FreeEntries freeIn;
    FreeEntries freeRd;
    // The door whose values the page shows: the tab selected at the last fill. A tab change
    // stores times typed for this door before the new door is shown.
    int shownDoor = 0;

    QTabBar* doorTc = nullptr;
    std::array<PickRow, kOutSlots> outRows{};
    std::array<PickRow, kInSlots> inRows{};
    std::array<PickRow, kRdSlots> rdRows{};
    QGroupBox* dTstGrpBox = nullptr;
    QCheckBox* klamkaCb = nullptr;
    QCheckBox* fullTimCb = nullptr;
    QComboBox* typeCb = nullptr;
    QLabel* typeLb = nullptr;
    TimeEdit* rygTimEd = nullptr;
    QLabel* rygTimLb = nullptr;
    QLabel* rygTimsLb = nullptr;
    TimeEdit* openTimEd = nullptr;
    QLabel* openTimLb = nullptr;
    QLabel* openTimsLb = nullptr;
    QComboBox* sluzaSel = nullptr;
    QLineEdit* doorNameEd = nullptr;
};

TDoorPage::TDoorPage(EditorModel model, bool& fillingPage, QWidget* parent)
    : QWidget(parent), d(std::make_unique<Impl>(std::move(model), fillingPage))
{
    setFixedSize(kDoorTcRect.right() + 1, kDoorTcRect.bottom() + 1);

    // The tab control: a strip of tabs over one panel that holds every control of the shown door.
    auto* tcArea = new QWidget(this);
    tcArea->setGeometry(kDoorTcRect);
    d->doorTc = new QTabBar(tcArea);
    d->doorTc->setObjectName(u"DoorTc"_s);
    d->doorTc->setExpanding(false);
    d->doorTc->setDrawBase(false);
    // A click on a tab takes the focus, so a time typed into a field is taken over for the door
    // it was typed for before the tab changes.
    d->doorTc->setFocusPolicy(Qt::StrongFocus);
    for (int i = 1; i <= kMaxDoors; ++i) d->doorTc->addTab(QString::number(i));
    d->doorTc->setCurrentIndex(0);
    const int tabHeight = d->doorTc->sizeHint().height();
    d->doorTc->setGeometry(2, 0, kDoorTcRect.width() - 4, tabHeight);
    auto* panel = new QFrame(tcArea);
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setGeometry(0, tabHeight - 1, kDoorTcRect.width(), kDoorTcRect.height() - tabHeight + 1);
    panel->lower();
    connect(d->doorTc, &QTabBar::currentChanged, this, [this] { DoorTcChange(); });

    // Picker rows: label, picker, NC box. The door group holds the lock and the open sensor.
    const PickerColumns narrow{16, 86, 112, 240};
    const PickerColumns wide{16, 103, 128, 256};
    auto addOutRow = [this](QGroupBox* box, const PickerColumns& cols, int row, int slot, const QString& caption) {
        PickRow& r = d->outRows[static_cast<std::size_t>(slot)];
        r = MakePickRow(box, cols, 16 + 32 * row, caption, u"Out%1"_s.arg(slot), true);
        connect(r.sel, &QComboBox::activated, this, [this, sel = r.sel](int entry) { DOutSelChange(sel, entry); });
        connect(r.box, &QCheckBox::clicked, this, [this, cb = r.box](bool on) { DOutCbClick(cb, on); });
    };
    auto addInRow = [this](QGroupBox* box, const PickerColumns& cols, int row, int slot, const QString& caption) {
        PickRow& r = d->inRows[static_cast<std::size_t>(slot)];
        r = MakePickRow(box, cols, 16 + 32 * row, caption, u"In%1"_s.arg(slot), true);
        connect(r.sel, &QComboBox::activated, this, [this, sel = r.sel](int entry) { DInSelChange(sel, entry); });
        connect(r.box, &QCheckBox::clicked, this, [this, cb = r.box](bool on) { DInCbClick(cb, on); });
    };

    auto* doorGrpBox = MakeGroup(tcArea, u"DoorGrpBox"_s, u" Drzwi "_s, QRect(16, 80, 281, 81));
    addOutRow(doorGrpBox, narrow, 0, 0, u"Rygiel:"_s);
    addInRow(doorGrpBox, narrow, 1, 1, u"Czujnik otwarcia:"_s);

    auto* rdGrpBox = MakeGroup(tcArea, u"RdGrpBox"_s, u" Czytniki "_s, QRect(16, 360, 209, 177));
    MakeLabel(rdGrpBox, u"RdExitLb"_s, u" Wyjście"_s, QPoint(144, 16));
    for (int slot = 0; slot < kRdSlots; ++slot) {
        const int top = 40 + 32 * slot;
        PickRow& r = d->rdRows[static_cast<std::size_t>(slot)];
        r.label = MakeLabel(rdGrpBox, u"Rd%1Lb"_s.arg(slot), u"%1:"_s.arg(slot + 1), QPoint(11, top + 4));
        r.label->setEnabled(false);
        r.sel = new ResPicker(rdGrpBox);
        r.sel->setObjectName(u"Rd%1Sel"_s.arg(slot));
        r.sel->move(24, top);
        r.box = new QCheckBox(rdGrpBox);
        r.box->setObjectName(u"Rd%1Cb"_s.arg(slot));
        r.box->setGeometry(160, top + 3, 17, 17);
        connect(r.sel, &QComboBox::activated, this, [this, sel = r.sel](int entry) { DRdSelChange(sel, entry); });
        connect(r.box, &QCheckBox::clicked, this, [this, cb = r.box](bool on) { DRdCbClick(cb, on); });
    }

    auto* outGrpBox = MakeGroup(tcArea, u"OutGrpBox"_s, u" Wyjścia "_s, QRect(17, 169, 281, 185));
    const std::array<QString, 5> outCaptions{u"Przypomnienie:"_s, u"Alarm:"_s, u"Uzbrojenie:"_s, u"Strażnik:"_s,
                                             u"On/Off:"_s};
    for (int slot = 1; slot < kOutSlots; ++slot)
        addOutRow(outGrpBox, narrow, slot - 1, slot, outCaptions[static_cast<std::size_t>(slot - 1)]);

    auto* inGrpBox = MakeGroup(tcArea, u"InGrpBox"_s, u" Wejścia "_s, QRect(304, 40, 297, 313));
    const std::array<QString, kInSlots> inCaptions{
        u"Przycisk wyjścia:"_s, QString(), u"Ewakuacja:"_s, u"Uzbrojenie:"_s, u"Dzwonek:"_s,
        u"Tamper 1:"_s, u"Tamper 2:"_s, u"Tamper 3:"_s, u"Brak zasilania AC:"_s, u"Akumulator:"_s};
    for (int slot = 0, row = 0; slot < kInSlots; ++slot) {
        if (slot == 1) continue;   // the open sensor sits in the door group
        addInRow(inGrpBox, wide, row++, slot, inCaptions[static_cast<std::size_t>(slot)]);
    }

    // The test group: editable only in mode "Instalacja".
    d->dTstGrpBox = MakeGroup(tcArea, u"DTstGrpBox"_s, u" Testowanie "_s, QRect(400, 359, 201, 177));
    d->klamkaCb = MakeCheckBox(d->dTstGrpBox, u"KlamkaCb"_s, u"Otwieranie klamką"_s, QRect(24, 25, 161, 17));
    d->fullTimCb = MakeCheckBox(d->dTstGrpBox, u"FullTimCb"_s, u"Pełny impuls rygla"_s, QRect(24, 48, 161, 17));
    d->typeLb = MakeRightLabel(d->dTstGrpBox, u"TypeLb"_s, u"Typ przejścia:"_s, QPoint(16, 83), 74);
    d->typeCb = new QComboBox(d->dTstGrpBox);
    d->typeCb->setObjectName(u"TypeCb"_s);
    d->typeCb->setGeometry(96, 79, 73, 22);
    d->typeCb->addItems({u"Otwarte"_s, u"Normalne"_s, u"Bistabilne"_s, u"Astabilne"_s, u"Zablokowane"_s});
    d->rygTimLb = MakeRightLabel(d->dTstGrpBox, u"RygTimLb"_s, u"Impuls otwarcia rygla:"_s, QPoint(16, 115), 106);
    d->rygTimEd = MakeTimeEdit(d->dTstGrpBox, u"RygTimEd"_s, QRect(128, 111, 33, 22));
    d->rygTimsLb = MakeLabel(d->dTstGrpBox, u"RygTimsLb"_s, u"s"_s, QPoint(171, 115));
    d->openTimLb = MakeRightLabel(d->dTstGrpBox, u"OpenTimLb"_s, u"Dozw. czas otwarcia:"_s, QPoint(16, 147), 107);
    d->openTimEd = MakeTimeEdit(d->dTstGrpBox, u"OpenTimEd"_s, QRect(128, 143, 33, 22));
    d->openTimsLb = MakeLabel(d->dTstGrpBox, u"OpenTimsLb"_s, u"s"_s, QPoint(171, 147));
    d->rygTimLb->setBuddy(d->rygTimEd);
    d->openTimLb->setBuddy(d->openTimEd);
    connect(d->klamkaCb, &QCheckBox::clicked, this, &TDoorPage::KlamkaCbClick);
    connect(d->fullTimCb, &QCheckBox::clicked, this, &TDoorPage::FullTimCbClick);
    connect(d->typeCb, &QComboBox::activated, this, &TDoorPage::TypeCbChange);
    connect(d->rygTimEd, &TimeEdit::exited, this, &TDoorPage::RygTimEdExit);
    connect(d->openTimEd, &TimeEdit::exited, this, &TDoorPage::OpenTimEdExit);

    // The airlock list also accepts typed text; text that names no entry counts as no airlock.
    auto* sluzaGrpBox = MakeGroup(tcArea, u"SluzaGrpBox"_s, u" Śluzy "_s, QRect(240, 360, 145, 57));
    d->sluzaSel = new QComboBox(sluzaGrpBox);
    d->sluzaSel->setObjectName(u"SluzaSel"_s);
    d->sluzaSel->setEditable(true);
    d->sluzaSel->setInsertPolicy(QComboBox::NoInsert);
    d->sluzaSel->setCompleter(nullptr);
    d->sluzaSel->setGeometry(16, 24, 113, 22);
    connect(d->sluzaSel, &QComboBox::activated, this, &TDoorPage::SluzaSelChange);
    connect(d->sluzaSel->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { SluzaSelChange(d->sluzaSel->findText(text)); });

    MakeRightLabel(tcArea, u"DoorNameLb"_s, u"Nazwa przejścia:"_s, QPoint(16, 52), 93);
    d->doorNameEd = new QLineEdit(tcArea);
    d->doorNameEd->setObjectName(u"DoorNameEd"_s);
    d->doorNameEd->setGeometry(120, 48, 169, 22);
    d->doorNameEd->setMaxLength(15);
    // Only the user's typing stores a name: showing a door never rewrites its name bytes.
    connect(d->doorNameEd, &QLineEdit::textEdited, this, &TDoorPage::DoorNameEdChange);
}

TDoorPage::~TDoorPage() = default;

QTabBar* TDoorPage::DoorTc() const
{
    return d->doorTc;
}

QComboBox* TDoorPage::SluzaSel() const
{
    return d->sluzaSel;
}

void TDoorPage::SetDoorTabs(int doorCount)
{
    const QSignalBlocker quiet(d->doorTc);   // the shell fills the page once the tabs stand
    while (d->doorTc->count() > 0) d->doorTc->removeTab(d->doorTc->count() - 1);
    for (int i = 1; i <= std::clamp(doorCount, 0, kMaxDoors); ++i) d->doorTc->addTab(QString::number(i));
    d->doorTc->setCurrentIndex(0);
    d->shownDoor = 0;
    // The tabs are rebuilt after the configuration was read anew: text still being typed
    // belonged to the records just replaced and must not land in door 1 of the new ones.
    DropTyping();
}

void TDoorPage::DropTyping()
{
    d->rygTimEd->setModified(false);
    d->openTimEd->setModified(false);
    d->sluzaSel->lineEdit()->setModified(false);
}

void TDoorPage::SetAirlockEntries(int doorCount)
{
    d->sluzaSel->clear();
    d->sluzaSel->addItem(u"  -----"_s);
    for (int n = 1; n <= std::clamp(doorCount, 0, kMaxDoors) / 2; ++n) d->sluzaSel->addItem(u"Śluza %1"_s.arg(n));
}

void TDoorPage::EnableDoorTests(int modeIndex)
{
    const bool enable = modeIndex >= 3;
    if (d->dTstGrpBox->isEnabledTo(this) == enable) return;
    for (QWidget* w : std::initializer_list<QWidget*>{d->dTstGrpBox, d->klamkaCb, d->fullTimCb, d->typeCb, d->typeLb,
                                                      d->rygTimEd, d->rygTimLb, d->rygTimsLb, d->openTimEd,
                                                      d->openTimLb, d->openTimsLb})
        w->setEnabled(enable);
}

void TDoorPage::FillDoorPage()
{
    EditorModel& m = d->model;
    if (m.devs.doorCount == 0) return;
    const int door = d->doorTc->currentIndex();
    if (door < 0 || door >= kMaxDoors) return;
    // A refill of the same door (the shell's poll) leaves text that is being typed in the airlock
    // list as it stands; showing another door replaces it.
    const bool sameDoor = door == d->shownDoor;
    d->shownDoor = door;
    const FillingGuard filling(d->filling);

    EnableDoorTests(m.modeIndex());
    const DoorCfg& cfg = m.doors.doors[static_cast<std::size_t>(door)];
    ShowName(d->doorNameEd, AnsiToQString(m.doors.DoorName(door)));

    d->freeOut.Refresh();
    for (int slot = 0; slot < kOutSlots; ++slot) {
        const PickRow& r = d->outRows[static_cast<std::size_t>(slot)];
        FillPicker(r.sel, cfg.Output(slot), d->freeOut);
        ShowNcBox(r.box, cfg.Output(slot), ResKind::Output, m.devs);
    }

    d->freeIn.Refresh();
    FillSensorPicker(d->inRows[1].sel, cfg.Input(1), cfg.Output(0), d->freeIn);
    for (int slot = 0; slot < kInSlots; ++slot) {
        const PickRow& r = d->inRows[static_cast<std::size_t>(slot)];
        if (slot != 1) FillPicker(r.sel, cfg.Input(slot), d->freeIn);
        ShowNcBox(r.box, cfg.Input(slot), ResKind::Input, m.devs);
    }

    d->freeRd.Refresh();
    for (int slot = 0; slot < kRdSlots; ++slot) {
        const PickRow& r = d->rdRows[static_cast<std::size_t>(slot)];
        FillPicker(r.sel, cfg.Reader(slot), d->freeRd);
        ShowExitBox(r.box, cfg.Reader(slot), cfg.ExitReader(slot));
    }

    // A stored airlock beyond the list's last entry leaves no entry selected. Typed text has already
    // been stored (it names an entry or none), so keeping it on screen keeps what the door holds.
    if (!(sameDoor && d->sluzaSel->lineEdit()->isModified())) {
        const int airlockEntry = m.doors.Airlock(door) + 1;
        d->sluzaSel->setCurrentIndex(airlockEntry < d->sluzaSel->count() ? airlockEntry : -1);
        d->sluzaSel->lineEdit()->setModified(false);
    }
    d->klamkaCb->setChecked(cfg.Handle());
    d->fullTimCb->setChecked(cfg.FullPulse());
    d->typeCb->setCurrentIndex(cfg.Type() <= 4 ? cfg.Type() : -1);
    ShowTime(d->rygTimEd, cfg.LockTime());
    ShowTime(d->openTimEd, cfg.OpenTime());
}

void TDoorPage::CommitEdits()
{
    if (TakeTypedTimes()) FillDoorPage();
}

bool TDoorPage::TakeTypedTimes()
{
    bool taken = false;
    if (d->rygTimEd->isModified()) {
        d->model.doors.SetLockTime(d->shownDoor, ParseTime(QStringToAnsi(d->rygTimEd->text())));
        d->rygTimEd->setModified(false);
        taken = true;
    }
    if (d->openTimEd->isModified()) {
        d->model.doors.SetOpenTime(d->shownDoor, ParseTime(QStringToAnsi(d->openTimEd->text())));
        d->openTimEd->setModified(false);
        taken = true;
    }
    return taken;
}

void TDoorPage::DOutSelChange(const QObject* control, int entry)
{
    const int slot = SlotOf(d->outRows, control);
    if (slot < 0 || entry < 0) return;
    const PickRow& r = d->outRows[static_cast<std::size_t>(slot)];
    d->model.doors.AssignOutput(d->shownDoor, slot, r.sel->Entries()->IdAt(entry), r.box->isChecked());
    FillDoorPage();
}

void TDoorPage::DOutCbClick(const QObject* control, bool checked)
{
    if (d->filling) return;
    const int slot = SlotOf(d->outRows, control);
    if (slot >= 0) d->model.doors.SetOutputNc(d->shownDoor, slot, checked);
}

void TDoorPage::DInSelChange(const QObject* control, int entry)
{
    const int slot = SlotOf(d->inRows, control);
    if (slot < 0 || entry < 0) return;
    const PickRow& r = d->inRows[static_cast<std::size_t>(slot)];
    d->model.doors.AssignInput(d->shownDoor, slot, r.sel->Entries()->IdAt(entry), r.box->isChecked());
    FillDoorPage();
}

void TDoorPage::DInCbClick(const QObject* control, bool checked)
{
    if (d->filling) return;
    const int slot = SlotOf(d->inRows, control);
    if (slot >= 0) d->model.doors.SetInputNc(d->shownDoor, slot, checked);
}

void TDoorPage::DRdSelChange(const QObject* control, int entry)
{
    const int slot = SlotOf(d->rdRows, control);
    if (slot < 0 || entry < 0) return;
    d->model.doors.AssignReader(d->shownDoor, slot, d->rdRows[static_cast<std::size_t>(slot)].sel->Entries()->IdAt(entry));
    FillDoorPage();
}

void TDoorPage::DRdCbClick(const QObject* control, bool checked)
{
    if (d->filling) return;
    const int slot = SlotOf(d->rdRows, control);
    if (slot >= 0) d->model.doors.SetExitReader(d->shownDoor, slot, checked);
}

void TDoorPage::DoorTcChange()
{
    // Times typed for the door shown until now belong to that door, not to the new tab's.
    TakeTypedTimes();
    FillDoorPage();
}

void TDoorPage::DoorNameEdChange(const QString& text)
{
    d->model.doors.SetDoorName(d->shownDoor, QStringToAnsi(text));
}

void TDoorPage::SluzaSelChange(int position)
{
    d->model.doors.SetAirlock(d->shownDoor, position - 1);
}

void TDoorPage::KlamkaCbClick(bool checked)
{
    if (!d->filling) d->model.doors.SetHandle(d->shownDoor, checked);
}

void TDoorPage::FullTimCbClick(bool checked)
{
    if (!d->filling) d->model.doors.SetFullPulse(d->shownDoor, checked);
}

void TDoorPage::TypeCbChange(int position)
{
    if (!d->filling && position >= 0) d->model.doors.SetType(d->shownDoor, position);
}

void TDoorPage::RygTimEdExit()
{
    d->model.doors.SetLockTime(d->shownDoor, ParseTime(QStringToAnsi(d->rygTimEd->text())));
    d->rygTimEd->setModified(false);
    FillDoorPage();
}

void TDoorPage::OpenTimEdExit()
{
    d->model.doors.SetOpenTime(d->shownDoor, ParseTime(QStringToAnsi(d->openTimEd->text())));
    d->openTimEd->setModified(false);
    FillDoorPage();
}
