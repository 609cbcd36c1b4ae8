#pragma once
#include <cstdint>
#include <optional>

#include <QWidget>

#include "link/udpdev.h"
#include "model/ctrlcfg.h"

class AppSeams;
class Endpoint;
class QComboBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTimer;
class TDoorPage;
class THelpWin;
class TLiftPage;
class TLokalizDlg;

// The main window: the controller list, the bus device panel of the selected controller and the
// page area with the door or lift editor. It owns the controller set and the configuration model
// of the selected controller, and a one-second timer that polls that controller.
//
// Every exchange with a controller is synchronous and runs on the GUI thread. Handlers run their
// work inside one command frame that shows any error in one error box; the poll has its own rule
// for errors that are not link errors.
class TMainWin : public QWidget {
    Q_OBJECT
public:
    // The endpoint becomes the link's endpoint for the window's life. Construction ends with
    // FormCreate: the first search, and the selection of the first controller found.
    TMainWin(Endpoint& udp, AppSeams& seams, QWidget* parent = nullptr);
    ~TMainWin() override;
    TMainWin(const TMainWin&) = delete;
    TMainWin& operator=(const TMainWin&) = delete;

    // The help window and the location dialog are created after the main window and live as
    // long as it does; until they are handed in, the buttons that show them do nothing.
    void SetSecondaryWindows(THelpWin* helpWin, TLokalizDlg* lokalizDlg);

    // Handlers.
    void EthLstBoxClick();
    void SearchEthBtnClick();
    void WwwBtnClick();
    void UDPTimerTimer();
    void DelLostBtnClick();
    void ReplaceBtnClick();
    void WrDCfgBtnClick();
    void WrLCfgBtnClick();
    void RapCfgBtnClick();
    void HelpEthBtnClick();
    void HelpDevBtnClick();
    void HelpDoorBtnClick();

    // Operations shared by the handlers.
    void RebuildControllerList();
    void SelectController();
    void LoadControllerConfig(UdpDev& c);
    void ShowConfigPages();
    void FillDevicePanel();
    void FillConfigPage();
    void ShowError(const QString& text);
    // Tells the user, once per selection, which doors (or the lift) of the configuration just read
    // could not be read; "Zapisz" leaves them alone unless they are edited.
    void WarnUnreadRecords();

    // The report's suggested file name: the date with the given separator, a blank and the
    // controller's device name ("2024-05-17 K105_00042").
    static QString SuggestedReportName(const QDate& date, QChar separator, uint32_t controllerId);
    // The separator of the locale's short date format; '-' where that character cannot stand in
    // a file name.
    static QChar DateSeparator(const QString& shortDateFormat);

    // Model of the selected controller. The set closes every session it holds when it goes.
    UdpDevSet udpDevs;                // UdpDevSet
    BusDevSet busDevs;                // BusDevSet
    DoorConfig doorConfig{busDevs};   // DoorConfig
    LiftConfig liftConfig{busDevs};   // LiftConfig
    bool ReportPollErrors = true;
    int keepAliveSlot = 0;
    bool FillingPage = false;

    // Controls.
    QGroupBox* SelBox;
    QLabel* EthDevLb;
    QLabel* EthIpAddrLb;
    QLabel* EthStateLb;
    QListWidget* EthLstBox;
    QPushButton* HelpEthBtn;
    QPushButton* SearchEthBtn;
    QPushButton* WwwBtn;

    QGroupBox* SelDevBox;
    QPushButton* DelLostBtn;
    QPushButton* HelpDevBtn;
    QGroupBox* ReplBox;
    QLabel* ReplOldLb;
    QLabel* ReplNewLb;
    QPushButton* ReplaceBtn;
    QComboBox* ReplCb;
    QListWidget* DevListBox;

    QTabWidget* CtrlTypeSet;
    QWidget* DoorSheet;
    QWidget* LiftSheet;
    TDoorPage* DoorPage;
    TLiftPage* LiftPage;
    QPushButton* HelpDoorBtn;
    QPushButton* RapCfgBtn;
    QPushButton* WrDCfgBtn;
    QPushButton* WrLCfgBtn;

    QTimer* UDPTimer;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    enum class Busy { No, Yes };
    enum class Outcome { Done, LinkError, OtherError };

    void CreateControls();
    void FormCreate();
    void Tick();
    template <class Work> Outcome Frame(Busy busy, Work&& work);
    // Runs a box of the seams (error, warning) with the normal cursor, counted as open.
    template <class Box> void ShowBox(Box&& box);
    void ClearModel();
    void ShowClearedModel();
    bool HoldsConfigOf(const UdpDev& c, int kind) const;
    void ShowHelp(int topic);
    void PollSelected();
    void KeepAliveStep();
    // Records held for the selected controller that were not read from it: bit i for door i, or
    // bit 0 for the lift.
    unsigned UnreadRecords() const;
    void MarkUnreadRecords();
    void WriteReportFile(const QString& fileName);

    Endpoint& udp_;
    AppSeams& seams_;
    THelpWin* helpWin_ = nullptr;
    TLokalizDlg* lokalizDlg_ = nullptr;
    // The controller whose complete door or lift configuration the model holds; nothing is
    // written or reported for any other.
    std::optional<uint32_t> configOf_;
    int boxesOpen_ = 0;             // error and warning boxes open now (nested in each other's loops)
    // The unread records the user was last told of in this selection, and of which controller.
    std::optional<std::pair<uint32_t, unsigned>> unreadTold_;
    bool listMouseDown_ = false;    // a mouse button is down on the controller list
    bool mouseMovedSelection_ = false;   // the pressed mouse moved the list's current line
    bool centred_ = false;
};
