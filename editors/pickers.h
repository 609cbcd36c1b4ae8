#pragma once
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractListModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QString>

#include "model/ctrlcfg.h"

class QLabel;

// Text of the system's ANSI code page (cp1250) for display. Characters that the code page does
// not define, and control characters, show as "?".
QString AnsiToQString(std::string_view ansi);
// Text typed into the GUI in the ANSI code page; characters it cannot represent become "?".
std::string QStringToAnsi(const QString& text);

// Role under which a picker entry carries its resource identifier.
constexpr int kResIdRole = Qt::UserRole;

// The free resources of one kind, computed once per fill of a page and shared by every picker of
// that kind on the page. Entry texts are made only when a picker asks for them.
class FreeEntries {
public:
    FreeEntries(const BusDevSet& devs, ResKind kind) : devs_(devs), kind_(kind) {}
    FreeEntries(const FreeEntries&) = delete;
    FreeEntries& operator=(const FreeEntries&) = delete;

    void Refresh() { devs_.FreeList(kind_, list_); }
    int Count() const { return list_.count; }
    const uint16_t* Ids() const { return list_.items.data(); }
    ResKind Kind() const { return kind_; }
    // The entry text of an assigned identifier: "%s:%s%d" for outputs, inputs and readers, the
    // device name alone for output sets.
    QString Text(ResId id) const;

private:
    const BusDevSet& devs_;
    ResKind kind_;
    ResList list_;
};

// What one picker offers: its slot's current entry (when assigned), the empty entry "  -----",
// then the shared free entries or, for the open-sensor picker, a filtered copy of them.
class PickerModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    void Reset(const FreeEntries& free, ResId current);
    void ResetFiltered(const FreeEntries& free, ResId current, std::vector<ResId> ids);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    ResId IdAt(int row) const;

private:
    int FreeOffset() const { return current_ != kNoRes ? 2 : 1; }

    const FreeEntries* free_ = nullptr;
    ResId current_ = kNoRes;
    const uint16_t* ids_ = nullptr;
    int count_ = 0;
    std::vector<ResId> filtered_;
};

// A pick-only drop-down list of fixed size (113 x 22) whose entries come from its PickerModel.
// Nothing measures the entries: the width is fixed and the popup's rows are of one height.
class ResPicker : public QComboBox {
    Q_OBJECT
public:
    explicit ResPicker(QWidget* parent);
    PickerModel* Entries() const { return entries_; }
    void showPopup() override;

private:
    PickerModel* entries_;
};

// Rebuilds a picker: current entry, "  -----", every free entry; the first entry selected.
void FillPicker(ResPicker* picker, ResId current, const FreeEntries& free);
// Rebuilds the open-sensor picker: with no lock it offers no free inputs and is disabled;
// otherwise it offers the free inputs of the lock's device and is enabled.
void FillSensorPicker(ResPicker* picker, ResId sensor, ResId lock, const FreeEntries& freeInputs);
// The NC box of an output (kind Output) or input (kind Input) slot.
void ShowNcBox(QCheckBox* box, ResId id, ResKind kind, const BusDevSet& devs);
// The exit box of a door reader slot: the flag belongs to the slot, whatever reader it holds.
void ShowExitBox(QCheckBox* box, ResId id, bool exitFlag);

// One row of a row table: the label, the picker and the companion box of one slot (no box on the
// lift's floor-group and reader rows; rows 0 to 2 of the lift's input table stay empty).
struct PickRow {
    QLabel* label = nullptr;
    ResPicker* sel = nullptr;
    QCheckBox* box = nullptr;
};

// The slot whose row holds the control that raised an event; -1 for a control found in no row.
template <typename Rows>
int SlotOf(const Rows& rows, const QObject* control)
{
    for (int slot = 0; slot < static_cast<int>(rows.size()); ++slot) {
        const PickRow& row = rows[static_cast<std::size_t>(slot)];
        if (control != nullptr && (control == row.sel || control == row.box)) return slot;
    }
    return -1;
}

// Sets the main window's FillingPage flag for the duration of a fill.
class FillingGuard {
public:
    explicit FillingGuard(bool& flag) : flag_(flag), before_(flag) { flag_ = true; }
    ~FillingGuard() { flag_ = before_; }
    FillingGuard(const FillingGuard&) = delete;
    FillingGuard& operator=(const FillingGuard&) = delete;

private:
    bool& flag_;
    bool before_;
};

// A time field (half seconds shown with a decimal comma, at most 4 characters). exited() is sent
// when the focus moves to another control of the window; a popup menu or another window taking
// the focus does not count, so a half-typed value is not taken over meanwhile.
class TimeEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TimeEdit(QWidget* parent);

signals:
    void exited();

protected:
    void focusOutEvent(QFocusEvent* event) override;
};

// Shows a stored time. A value typed and not yet taken over stays as typed, so a fill that the
// shell's poll starts meanwhile does not throw the typing away.
void ShowTime(TimeEdit* edit, int value);
// Sets a name field's text when it differs, so a refill leaves the cursor of a field being typed in.
void ShowName(QLineEdit* edit, const QString& name);
