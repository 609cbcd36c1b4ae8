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

    QTabBar* DoorTc() const;
    QComboBox* SluzaSel() const;

private:
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

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
