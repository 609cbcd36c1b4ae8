#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "editors/editors.h"
#include "editors/layout.h"
#include "editors/pickers.h"
#include "model/ctrlcfg.h"

using namespace Qt::StringLiterals;

namespace {

constexpr int kSetSlots = 8;
constexpr int kInSlots = 8;
constexpr int kFirstShownInput = 3;   // input slots 0-2 keep what the controller sent
constexpr int kRdSlots = 4;

}  // namespace

struct TLiftPage::Impl {
    Impl(EditorModel m, bool& flag)
        : model(std::move(m)), filling(flag), freeSet(model.devs, ResKind::OutputSet),
          freeIn(model.devs, ResKind::Input), freeRd(model.devs, ResKind::Reader)
    {
    }

    EditorModel model;
    bool& filling;
    FreeEntries freeSet;
    FreeEntries freeIn;
    FreeEntries freeRd;

    std::array<PickRow, kSetSlots> setRows{};
    std::array<PickRow, kInSlots> inRows{};   // rows 0-2 stay empty
    std::array<PickRow, kRdSlots> rdRows{};
    QLineEdit* liftNameEd = nullptr;
    QGroupBox* lTstGrpBox = nullptr;
    QLabel* liftTimLb = nullptr;
    TimeEdit* liftTimEd = nullptr;
    QLabel* liftTimsLb = nullptr;
};

TLiftPage::TLiftPage(EditorModel model, bool& fillingPage, QWidget* parent)
    : QWidget(parent), d(std::make_unique<Impl>(std::move(model), fillingPage))
{
    setFixedSize(545, 521);

    auto* stopGrpBox = MakeGroup(this, u"StopGrpBox"_s, u" Poziomy "_s, QRect(24, 56, 201, 289));
    const PickerColumns floorCols{8, 41, 64, 0};
    const std::array<QString, kSetSlots> floorCaptions{u"1..8:"_s,   u"9..16:"_s,  u"17..24:"_s, u"25..32:"_s,
                                                       u"33..40:"_s, u"41..48:"_s, u"49..56:"_s, u"57..64:"_s};
    for (int slot = 0; slot < kSetSlots; ++slot) {
        PickRow& r = d->setRows[static_cast<std::size_t>(slot)];
        r = MakePickRow(stopGrpBox, floorCols, 24 + 32 * slot, floorCaptions[static_cast<std::size_t>(slot)],
                        u"LOutSet%1"_s.arg(slot), false);
        connect(r.sel, &QComboBox::activated, this, [this, sel = r.sel](int entry) { LOutSetSelChange(sel, entry); });
    }

    auto* liftRdGrpBox = MakeGroup(this, u"LiftRdGrpBox"_s, u" Czytniki "_s, QRect(24, 352, 161, 161));
    for (int slot = 0; slot < kRdSlots; ++slot) {
        const int top = 24 + 32 * slot;
        PickRow& r = d->rdRows[static_cast<std::size_t>(slot)];
        r.label = MakeLabel(liftRdGrpBox, u"LRd%1Lb"_s.arg(slot), u"%1:"_s.arg(slot + 1), QPoint(11, top + 4));
        r.sel = new ResPicker(liftRdGrpBox);
        r.sel->setObjectName(u"LRd%1Sel"_s.arg(slot));
        r.sel->move(24, top);
        connect(r.sel, &QComboBox::activated, this, [this, sel = r.sel](int entry) { LRdSelChange(sel, entry); });
    }

    auto* groupBox1 = MakeGroup(this, u"GroupBox1"_s, u" Wejścia "_s, QRect(240, 56, 297, 209));
    const PickerColumns inCols{8, 97, 120, 248};
    const std::array<QString, kInSlots - kFirstShownInput> inCaptions{u"Tamper 1:"_s, u"Tamper 2:"_s, u"Tamper 3:"_s,
                                                                      u"Brak zasilania AC:"_s, u"Akumulator:"_s};
    for (int slot = kFirstShownInput; slot < kInSlots; ++slot) {
        const int row = slot - kFirstShownInput;
        PickRow& r = d->inRows[static_cast<std::size_t>(slot)];
        r = MakePickRow(groupBox1, inCols, 32 + 32 * row, inCaptions[static_cast<std::size_t>(row)],
                        u"LIn%1"_s.arg(slot), true);
        connect(r.sel, &QComboBox::activated, this, [this, sel = r.sel](int entry) { LInSelChange(sel, entry); });
        connect(r.box, &QCheckBox::clicked, this, [this, cb = r.box](bool on) { LInCbClick(cb, on); });
    }

    MakeLabel(this, u"LiftNameLb"_s, u"Nazwa windy:"_s, QPoint(24, 20));
    d->liftNameEd = new QLineEdit(this);
    d->liftNameEd->setObjectName(u"LiftNameEd"_s);
    d->liftNameEd->setGeometry(120, 16, 169, 22);
    d->liftNameEd->setMaxLength(15);
    // Only the user's typing stores a name: showing the lift never rewrites its name bytes.
    connect(d->liftNameEd, &QLineEdit::textEdited, this, &TLiftPage::LiftNameEdChange);

    d->lTstGrpBox = MakeGroup(this, u"LTstGrpBox"_s, u" Testowanie "_s, QRect(240, 272, 297, 73));
    d->liftTimLb = MakeLabel(d->lTstGrpBox, u"LiftTimLb"_s, u"Czas odblokowania przycisków:"_s, QPoint(24, 35));
    d->liftTimEd = MakeTimeEdit(d->lTstGrpBox, u"LiftTimEd"_s, QRect(200, 31, 33, 22));
    d->liftTimsLb = MakeLabel(d->lTstGrpBox, u"LiftTimsLb"_s, u"s"_s, QPoint(243, 35));
    d->liftTimLb->setBuddy(d->liftTimEd);
    connect(d->liftTimEd, &TimeEdit::exited, this, &TLiftPage::LiftTimEdExit);
}

TLiftPage::~TLiftPage() = default;

void TLiftPage::EnableLiftTests(int modeIndex)
{
    const bool enable = modeIndex >= 3;
    if (d->lTstGrpBox->isEnabledTo(this) == enable) return;
    for (QWidget* w : std::initializer_list<QWidget*>{d->lTstGrpBox, d->liftTimEd, d->liftTimLb, d->liftTimsLb})
        w->setEnabled(enable);
}

void TLiftPage::FillLiftPage()
{
    EditorModel& m = d->model;
    if (m.devs.doorCount == 0) return;
    const FillingGuard filling(d->filling);

    EnableLiftTests(m.modeIndex());
    const LiftCfg& cfg = m.lift.lift;
    ShowName(d->liftNameEd, AnsiToQString(m.lift.LiftName()));

    d->freeSet.Refresh();
    for (int slot = 0; slot < kSetSlots; ++slot)
        FillPicker(d->setRows[static_cast<std::size_t>(slot)].sel, cfg.OutputSet(slot), d->freeSet);

    d->freeIn.Refresh();
    for (int slot = kFirstShownInput; slot < kInSlots; ++slot) {
        const PickRow& r = d->inRows[static_cast<std::size_t>(slot)];
        FillPicker(r.sel, cfg.Input(slot), d->freeIn);
        ShowNcBox(r.box, cfg.Input(slot), ResKind::Input, m.devs);
    }

    d->freeRd.Refresh();
    for (int slot = 0; slot < kRdSlots; ++slot)
        FillPicker(d->rdRows[static_cast<std::size_t>(slot)].sel, cfg.Reader(slot), d->freeRd);

    ShowTime(d->liftTimEd, cfg.UnlockTime());
}

void TLiftPage::CommitEdits()
{
    if (d->liftTimEd->isModified()) LiftTimEdExit();
}

void TLiftPage::DropTyping()
{
    d->liftTimEd->setModified(false);
}

void TLiftPage::LOutSetSelChange(const QObject* control, int entry)
{
    const int slot = SlotOf(d->setRows, control);
    if (slot < 0 || entry < 0) return;
    d->model.lift.AssignSet(slot, d->setRows[static_cast<std::size_t>(slot)].sel->Entries()->IdAt(entry));
    FillLiftPage();
}

void TLiftPage::LInSelChange(const QObject* control, int entry)
{
    const int slot = SlotOf(d->inRows, control);
    if (slot < 0 || entry < 0) return;
    const PickRow& r = d->inRows[static_cast<std::size_t>(slot)];
    d->model.lift.AssignInput(slot, r.sel->Entries()->IdAt(entry), r.box->isChecked());
    FillLiftPage();
}

void TLiftPage::LInCbClick(const QObject* control, bool checked)
{
    if (d->filling) return;
    const int slot = SlotOf(d->inRows, control);
    if (slot >= 0) d->model.lift.SetInputNc(slot, checked);
}

void TLiftPage::LRdSelChange(const QObject* control, int entry)
{
    const int slot = SlotOf(d->rdRows, control);
    if (slot < 0 || entry < 0) return;
    d->model.lift.AssignReader(slot, d->rdRows[static_cast<std::size_t>(slot)].sel->Entries()->IdAt(entry));
    FillLiftPage();
}

void TLiftPage::LiftNameEdChange(const QString& text)
{
    d->model.lift.SetLiftName(QStringToAnsi(text));
}

void TLiftPage::LiftTimEdExit()
{
    d->model.lift.SetUnlockTime(ParseTime(QStringToAnsi(d->liftTimEd->text())));
    d->liftTimEd->setModified(false);
    FillLiftPage();
}
