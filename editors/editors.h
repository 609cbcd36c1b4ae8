#pragma once
#include <functional>
#include <memory>

#include <QWidget>

class BusDevSet;
class DoorConfig;
class LiftConfig;
class QTabBar;
class QComboBox;

// What the door and lift pages use of the main window: the model of the selected controller and
// the mode index of that controller (bits 0-1 of its status byte, taken as stored).
struct EditorModel {
    BusDevSet& devs;
    DoorConfig& doors;
    LiftConfig& lift;
    std::function<int()> modeIndex;
};

// The door editor: the tab control DoorTc with every control on it (pickers, NC and exit boxes,
// name, airlock, test group). It sits on the page "Przejścia" above the page's buttons.
// fillingPage is the main window's FillingPage flag.
//
// Every control carries its name as objectName ("Out0Sel", "In1Cb", "RygTimEd", ...). The pickers
// react to a user's choice only (QComboBox::activated); a fill never assigns anything.
class TDoorPage : public QWidget {
    Q_OBJECT
public:
    TDoorPage(EditorModel model, bool& fillingPage, QWidget* parent = nullptr);
    ~TDoorPage() override;

    // Called by the shell after reading a door configuration: tabs "1".."n" (first current) and
    // the airlock list "  -----", "Śluza 1".."Śluza n/2".
    void SetDoorTabs(int doorCount);
    void SetAirlockEntries(int doorCount);
    void FillDoorPage();
    // Takes over a time typed into a field that still has the focus, as leaving the field would.
    void CommitEdits();
    // Forgets text being typed (times, airlock) without storing it: the configuration is being read
    // anew, and the typing belonged to the records it replaces.
    void DropTyping();
    // Enables the test group when the mode index is 3 ("Instalacja") or more.
    void EnableDoorTests(int modeIndex);

    QTabBar* DoorTc() const;
    QComboBox* SluzaSel() const;

private:
    // Event handlers. A pick or box handler finds its slot by the row that holds the control.
    void DOutSelChange(const QObject* control, int entry);
    void DOutCbClick(const QObject* control, bool checked);
    void DInSelChange(const QObject* control, int entry);
    void DInCbClick(const QObject* control, bool checked);
    void DRdSelChange(const QObject* control, int entry);
    void DRdCbClick(const QObject* control, bool checked);
    void DoorTcChange();
    void DoorNameEdChange(const QString& text);
    void SluzaSelChange(int position);
    void KlamkaCbClick(bool checked);
    void FullTimCbClick(bool checked);
    void TypeCbChange(int position);
    void RygTimEdExit();
    void OpenTimEdExit();
    // Stores typed times not yet taken over into the shown door; true when there were any.
    bool TakeTypedTimes();

    struct Impl;
    std::unique_ptr<Impl> d;   // widget pointers; the widgets are owned by their Qt parents
};

// The lift editor: every control of the page "Winda" except its "Zapisz" button.
class TLiftPage : public QWidget {
    Q_OBJECT
public:
    TLiftPage(EditorModel model, bool& fillingPage, QWidget* parent = nullptr);
    ~TLiftPage() override;

    void FillLiftPage();
    void CommitEdits();
    // Forgets a time being typed without storing it (the configuration is being read anew).
    void DropTyping();
    // Enables the test group when the mode index is 3 ("Instalacja") or more.
    void EnableLiftTests(int modeIndex);

private:
    void LOutSetSelChange(const QObject* control, int entry);
    void LInSelChange(const QObject* control, int entry);
    void LInCbClick(const QObject* control, bool checked);
    void LRdSelChange(const QObject* control, int entry);
    void LiftNameEdChange(const QString& text);
    void LiftTimEdExit();

    struct Impl;
    std::unique_ptr<Impl> d;
};
