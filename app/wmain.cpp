#include "app/wmain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>

#include "app/ansi.h"
#include "app/seams.h"
#include "editors/editors.h"
#include "help/lokdlg.h"
#include "help/whelp.h"
#include "link/devid.h"
#include "link/endpoint.h"
#include "report/report.h"

namespace {

constexpr int kDoorController = 1;
constexpr int kLiftController = 2;
constexpr int kDoorSheetIndex = 0;
constexpr int kLiftSheetIndex = 1;
constexpr int kKeepAliveSpread = 15;   // each controller is kept alive once every 15 ticks
constexpr int kListLineHeight = 14;

// The wait cursor over the whole program while a handler blocks the window.
class WaitCursor {
public:
    explicit WaitCursor(bool on) : on_(on)
    {
        if (on_) QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor()
    {
        if (on_) QApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool on_;
};

template <class T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
                    int height)
{
    auto* button = Named(new QPushButton(caption, parent), name);
    button->setGeometry(left, top, width, height);
    button->setAutoDefault(false);
    return button;
}

QLabel* Label(QWidget* parent, const char* name, const QString& caption, int left, int top)
{
    auto* label = Named(new QLabel(caption, parent), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

bool ReadsConfiguration(const UdpDev& c)
{
    return c.ModeIndex() == 2 || c.ModeIndex() == 3;
}

}  // namespace

TMainWin::TMainWin(Endpoint& udp, AppSeams& seams, QWidget* parent)
    : QWidget(parent), udp_(udp), seams_(seams)
{
    // The controls and the timer (whose ticks arrive once the event loop runs); the controller
    // set starts empty with no selection, the model empty, FillingPage false and
    // ReportPollErrors true (member initialisers); the editors build their row tables.
    CreateControls();
    SetEndpoint(&udp_);
    setWindowTitle(QStringLiteral("OlmConfig - 1.3.3"));
    FormCreate();
}

TMainWin::~TMainWin()
{
    UDPTimer->stop();
    // Sessions are closed first: a status poll, then s, for every controller this program holds
    // a session with. A close that fails here is not shown, since the window is going away.
    try {
        udpDevs.CloseAll();
    } catch (...) {
    }
    // The editors refer to the model, which goes before the base class deletes the children.
    delete CtrlTypeSet;
    CtrlTypeSet = nullptr;
    SetEndpoint(nullptr);
}

void TMainWin::CreateControls()
{
    setObjectName("MainWin");
    setFixedSize(966, 665);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    // Arial 8 point; where Arial is missing, a face of about its width keeps the captions inside
    // their fixed places.
    QFont font;
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed")});
    font.setPixelSize(11);
    setFont(font);

    // Controller box.
    SelBox = Named(new QGroupBox(QStringLiteral(" Ethernet "), this), "SelBox");
    SelBox->setGeometry(16, 8, 281, 209);
    EthDevLb = Label(SelBox, "EthDevLb", QStringLiteral("Urządzenie"), 32, 20);
    EthIpAddrLb = Label(SelBox, "EthIpAddrLb", QStringLiteral("Adres IP"), 104, 20);
    EthStateLb = Label(SelBox, "EthStateLb", QStringLiteral("Stan"), 176, 20);
    EthLstBox = Named(new QListWidget(SelBox), "EthLstBox");
    EthLstBox->setGeometry(24, 40, 233, 113);
    EthLstBox->setSelectionMode(QAbstractItemView::SingleSelection);
    EthLstBox->setUniformItemSizes(true);
    EthLstBox->viewport()->installEventFilter(this);
    HelpEthBtn = Button(SelBox, "HelpEthBtn", QStringLiteral("Pomoc"), 24, 168, 57, 25);
    SearchEthBtn = Button(SelBox, "SearchEthBtn", QStringLiteral("Przeszukaj sieć"), 152, 168, 105, 25);
    WwwBtn = Button(SelBox, "WwwBtn", QStringLiteral("www"), 88, 168, 57, 25);

    // Device box.
    SelDevBox = Named(new QGroupBox(QString(), this), "SelDevBox");
    SelDevBox->setGeometry(16, 232, 281, 417);
    DelLostBtn = Button(SelDevBox, "DelLostBtn", QStringLiteral("Usuń nieaktywne"), 152, 288, 105, 25);
    DelLostBtn->setEnabled(false);
    HelpDevBtn = Button(SelDevBox, "HelpDevBtn", QStringLiteral("Pomoc"), 32, 288, 65, 25);
    ReplBox = Named(new QGroupBox(QStringLiteral(" Zastępowanie "), SelDevBox), "ReplBox");
    ReplBox->setGeometry(8, 328, 265, 73);
    ReplOldLb = Label(ReplBox, "ReplOldLb", QStringLiteral("Stary"), 34, 20);
    ReplNewLb = Label(ReplBox, "ReplNewLb", QStringLiteral("Nowy"), 105, 20);
    ReplaceBtn = Button(ReplBox, "ReplaceBtn", QStringLiteral("Zastąp"), 184, 32, 65, 25);
    ReplCb = Named(new QComboBox(ReplBox), "ReplCb");
    ReplCb->setGeometry(16, 40, 153, 22);
    ReplCb->setEditable(false);
    for (QWidget* w : {static_cast<QWidget*>(ReplOldLb), static_cast<QWidget*>(ReplNewLb),
                       static_cast<QWidget*>(ReplaceBtn), static_cast<QWidget*>(ReplCb)})
        w->setEnabled(false);
    DevListBox = Named(new QListWidget(SelDevBox), "DevListBox");
    DevListBox->setGeometry(16, 24, 249, 243);
    DevListBox->setUniformItemSizes(true);

    // Page area.
    CtrlTypeSet = Named(new QTabWidget(this), "CtrlTypeSet");
    CtrlTypeSet->setGeometry(317, 8, 641, 641);
    DoorSheet = Named(new QWidget, "DoorSheet");
    LiftSheet = Named(new QWidget, "LiftSheet");
    CtrlTypeSet->addTab(DoorSheet, QStringLiteral("Przejścia"));
    CtrlTypeSet->addTab(LiftSheet, QStringLiteral("Winda"));
    CtrlTypeSet->setCurrentIndex(kDoorSheetIndex);

    EditorModel model{busDevs, doorConfig, liftConfig, [this] {
                          const UdpDev* c = udpDevs.Selected();
                          return c ? c->ModeIndex() : 0;
                      }};
    DoorPage = Named(new TDoorPage(model, FillingPage, DoorSheet), "DoorPage");
    DoorPage->move(0, 0);
    HelpDoorBtn = Button(DoorSheet, "HelpDoorBtn", QStringLiteral("Pomoc"), 32, 576, 75, 25);
    RapCfgBtn = Button(DoorSheet, "RapCfgBtn", QStringLiteral("Raport"), 392, 576, 75, 25);
    WrDCfgBtn = Button(DoorSheet, "WrDCfgBtn", QStringLiteral("Zapisz"), 502, 576, 75, 25);
    LiftPage = Named(new TLiftPage(model, FillingPage, LiftSheet), "LiftPage");
    LiftPage->move(0, 0);
    WrLCfgBtn = Button(LiftSheet, "WrLCfgBtn", QStringLiteral("Zapisz"), 502, 576, 75, 25);

    // Tab order: the controller box, the device box, the page area.
    setTabOrder(EthLstBox, HelpEthBtn);
    setTabOrder(HelpEthBtn, SearchEthBtn);
    setTabOrder(SearchEthBtn, WwwBtn);
    setTabOrder(WwwBtn, DelLostBtn);
    setTabOrder(DelLostBtn, HelpDevBtn);
    setTabOrder(HelpDevBtn, ReplaceBtn);
    setTabOrder(ReplaceBtn, ReplCb);
    setTabOrder(ReplCb, DevListBox);
    setTabOrder(DevListBox, CtrlTypeSet);
    // On the lift page "Zapisz" comes after the name and before the test group.
    if (auto* liftName = LiftPage->findChild<QLineEdit*>(QStringLiteral("LiftNameEd"))) setTabOrder(liftName, WrLCfgBtn);
    if (auto* liftTime = LiftPage->findChild<QLineEdit*>(QStringLiteral("LiftTimEd"))) setTabOrder(WrLCfgBtn, liftTime);

    connect(EthLstBox, &QListWidget::itemClicked, this, [this] {
        mouseMovedSelection_ = false;
        EthLstBoxClick();
    });
    // A line chosen with the keyboard; mouse choices arrive through itemClicked above, or, for a
    // press that slid onto another line before its release, through the release (eventFilter).
    connect(EthLstBox, &QListWidget::currentRowChanged, this, [this] {
        if (listMouseDown_)
            mouseMovedSelection_ = true;
        else
            EthLstBoxClick();
    });
    connect(SearchEthBtn, &QPushButton::clicked, this, &TMainWin::SearchEthBtnClick);
    connect(WwwBtn, &QPushButton::clicked, this, &TMainWin::WwwBtnClick);
    connect(HelpEthBtn, &QPushButton::clicked, this, &TMainWin::HelpEthBtnClick);
    connect(HelpDevBtn, &QPushButton::clicked, this, &TMainWin::HelpDevBtnClick);
    connect(HelpDoorBtn, &QPushButton::clicked, this, &TMainWin::HelpDoorBtnClick);
    connect(DelLostBtn, &QPushButton::clicked, this, &TMainWin::DelLostBtnClick);
    connect(ReplaceBtn, &QPushButton::clicked, this, &TMainWin::ReplaceBtnClick);
    connect(WrDCfgBtn, &QPushButton::clicked, this, &TMainWin::WrDCfgBtnClick);
    connect(WrLCfgBtn, &QPushButton::clicked, this, &TMainWin::WrLCfgBtnClick);
    connect(RapCfgBtn, &QPushButton::clicked, this, &TMainWin::RapCfgBtnClick);

    UDPTimer = Named(new QTimer(this), "UDPTimer");
    UDPTimer->setInterval(1000);
    connect(UDPTimer, &QTimer::timeout, this, &TMainWin::UDPTimerTimer);
    UDPTimer->start();
}

void TMainWin::SetSecondaryWindows(THelpWin* helpWin, TLokalizDlg* lokalizDlg)
{
    helpWin_ = helpWin;
    lokalizDlg_ = lokalizDlg;
}

bool TMainWin::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == EthLstBox->viewport()) {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            listMouseDown_ = true;
            mouseMovedSelection_ = false;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            listMouseDown_ = false;
            // A release over another line than the press brings no itemClicked; the line the
            // mouse moved to is selected once the list has handled the release.
            if (mouseMovedSelection_)
                QTimer::singleShot(0, this, [this] {
                    if (!mouseMovedSelection_) return;
                    mouseMovedSelection_ = false;
                    EthLstBoxClick();
                });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainWin::showEvent(QShowEvent* event)
{
    // Centred on the desktop the first time it is shown.
    if (!centred_) {
        centred_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}

// ---------------------------------------------------------------------------------------------
// The command frame and the error box.

template <class Work>
TMainWin::Outcome TMainWin::Frame(Busy busy, Work&& work)
{
    QString text;
    Outcome outcome = Outcome::OtherError;
    try {
        const WaitCursor wait(busy == Busy::Yes);
        work();
        return Outcome::Done;
    } catch (const UErr& e) {
        text = FromAnsi(e.Text());
        outcome = Outcome::LinkError;
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        // An error without a message of its own is shown with an empty text.
    }
    ShowError(text);
    return outcome;
}

template <class Box>
void TMainWin::ShowBox(Box&& box)
{
    // The box gets the normal cursor even when it opens inside a handler that shows the wait
    // cursor (the poll tick run by "Usuń nieaktywne").
    const bool waiting = QApplication::overrideCursor() != nullptr;
    if (waiting) QApplication::setOverrideCursor(Qt::ArrowCursor);
    // Timer ticks run in the box's event loop; while it is open they show no box of their own.
    ++boxesOpen_;
    const auto closed = qScopeGuard([this, waiting] {
        --boxesOpen_;
        if (waiting) QApplication::restoreOverrideCursor();
    });
    box();
}

void TMainWin::ShowError(const QString& text)
{
    ShowBox([&] { seams_.ShowError(this, text); });
}

// ---------------------------------------------------------------------------------------------
// Start-up and the controller list.

void TMainWin::FormCreate()
{
    // An error of the socket layer (the port taken by a second copy of the program) meets every
    // tick too, the ticks that run while its box is open included: the poll stays silent about
    // such errors until a tick completes. The flag is down before any box can open.
    ReportPollErrors = false;
    const Outcome outcome = Frame(Busy::Yes, [this] {
        udpDevs.Search();
        RebuildControllerList();
    });
    if (outcome != Outcome::OtherError) ReportPollErrors = true;
}

void TMainWin::RebuildControllerList()
{
    const int n = udpDevs.count;
    const int s = udpDevs.selected;
    {
        const QSignalBlocker block(EthLstBox);
        EthLstBox->clear();
    }
    WwwBtn->setEnabled(n > 0);
    if (n == 0) {
        CtrlTypeSet->hide();
        return;
    }
    {
        const QSignalBlocker block(EthLstBox);
        for (int i = 0; i < n; ++i) {
            auto* item = new QListWidgetItem(FromAnsi(udpDevs[i].ListLine()), EthLstBox);
            item->setSizeHint(QSize(0, kListLineHeight));
        }
        EthLstBox->setCurrentRow(0 <= s && s < n ? s : 0);
    }
    if (0 <= s && s < n)
        FillConfigPage();
    else
        SelectController();
}

void TMainWin::SearchEthBtnClick()
{
    Frame(Busy::Yes, [this] {
        udpDevs.Search();
        RebuildControllerList();
    });
}

void TMainWin::WwwBtnClick()
{
    const UdpDev* c = udpDevs.Selected();
    if (udpDevs.count <= 0 || c == nullptr) return;
    seams_.OpenUrl(QUrl(QStringLiteral("http://") + QString::fromLatin1(c->IpText().c_str())));
}

void TMainWin::ShowHelp(int topic)
{
    if (helpWin_ == nullptr) return;
    helpWin_->ShowTopic(topic);
    seams_.ExecModal(*helpWin_);
}

void TMainWin::HelpEthBtnClick() { ShowHelp(0); }
void TMainWin::HelpDevBtnClick() { ShowHelp(1); }
void TMainWin::HelpDoorBtnClick() { ShowHelp(2); }

// ---------------------------------------------------------------------------------------------
// Selection and polling.

void TMainWin::EthLstBoxClick()
{
    SelectController();
}

void TMainWin::ClearModel()
{
    busDevs.Clear();
    // A cleared record assigns nothing (every slot 0xFFFF, parameters zero) and counts as not
    // read, so a door whose block the controller then sends malformed shows as unassigned,
    // neither as another controller's door nor as the first resources of device 0, and is not
    // written unless the user edits it.
    doorConfig.Clear();
    liftConfig.Clear();
    configOf_.reset();
}

bool TMainWin::HoldsConfigOf(const UdpDev& c, int kind) const
{
    return configOf_ == c.id && busDevs.kind == kind && busDevs.doorCount > 0;
}

void TMainWin::SelectController()
{
    int i = -1;
    for (int line = 0; line < EthLstBox->count(); ++line) {
        if (EthLstBox->item(line)->isSelected()) {
            i = line;
            break;
        }
    }
    if (i < 0) return;
    if (i < udpDevs.count) udpDevs.selected = i;

    // Nothing of the previously selected controller survives into this selection, whatever its
    // poll brings: its device list, its configuration and the panel that shows them go now.
    ClearModel();
    FillDevicePanel();

    unreadTold_.reset();   // a new selection tells of its unread records anew
    Frame(Busy::Yes, [this, i] {
        UdpDev* c = udpDevs.Selected();
        if (c == nullptr) return;
        const bool answered = c->PollStatus();
        // The line shows the polled mode, or "Niedostępny" for a controller that did not answer:
        // later polls may report no further change, so no rebuild would correct it.
        EthLstBox->item(i)->setText(FromAnsi(c->ListLine()));
        if (!answered) throw UErr(*c, 1, 0);
        busDevs.Clear();
        if (TypeCategory(c->id) == kControllerCategory) {
            if (!ReadsConfiguration(*c)) throw UErr(*c, 8, 0);
            LoadControllerConfig(*c);
        }
    });
    ShowConfigPages();
    WarnUnreadRecords();
}

void TMainWin::LoadControllerConfig(UdpDev& c)
{
    // Text still being typed belongs to the records about to be replaced: it must not be stored
    // into the records read now.
    DoorPage->DropTyping();
    LiftPage->DropTyping();
    try {
        busDevs.Load(c);
        if (busDevs.kind == kDoorController)
            doorConfig.Load(c);
        else if (busDevs.kind == kLiftController)
            liftConfig.Load(c);
        if (busDevs.doorCount > 0 && (busDevs.kind == kDoorController || busDevs.kind == kLiftController))
            configOf_ = c.id;
        else
            configOf_.reset();
    } catch (...) {
        // A reading that stops halfway leaves records of unknown content; they are neither shown
        // nor written.
        ClearModel();
        throw;
    }
}

void TMainWin::ShowConfigPages()
{
    const int n = busDevs.doorCount;
    // Pages are shown only for a configuration read from the selected controller; a device list
    // that a tick took in while that reading was failing brings none.
    const UdpDev* c = udpDevs.Selected();
    if (n == 0 || c == nullptr || !HoldsConfigOf(*c, busDevs.kind)) {
        CtrlTypeSet->hide();
        return;
    }
    CtrlTypeSet->show();
    if (busDevs.kind == kDoorController) {
        CtrlTypeSet->setTabVisible(kDoorSheetIndex, true);
        CtrlTypeSet->setTabVisible(kLiftSheetIndex, false);
        CtrlTypeSet->setCurrentIndex(kDoorSheetIndex);
        DoorPage->SetDoorTabs(n);
        DoorPage->SetAirlockEntries(n);
    } else if (busDevs.kind == kLiftController) {
        CtrlTypeSet->setTabVisible(kLiftSheetIndex, true);
        CtrlTypeSet->setTabVisible(kDoorSheetIndex, false);
        CtrlTypeSet->setCurrentIndex(kLiftSheetIndex);
    }
    FillDevicePanel();
}

void TMainWin::FillConfigPage()
{
    if (busDevs.kind == kDoorController)
        DoorPage->FillDoorPage();
    else if (busDevs.kind == kLiftController)
        LiftPage->FillLiftPage();
    MarkUnreadRecords();
}

unsigned TMainWin::UnreadRecords() const
{
    const UdpDev* c = udpDevs.Selected();
    if (c == nullptr) return 0;
    if (HoldsConfigOf(*c, kDoorController)) {
        unsigned mask = 0;
        for (int door = 0; door < busDevs.doorCount; ++door)
            if (!doorConfig.WasRead(door)) mask |= 1u << door;
        return mask;
    }
    if (HoldsConfigOf(*c, kLiftController)) return liftConfig.WasRead() ? 0u : 1u;
    return 0;
}

void TMainWin::MarkUnreadRecords()
{
    // The tab of a record that was not read carries a warning sign and says why, so it stays in
    // sight while the user edits. The captions stay "1".."n" and "Winda". Every page fill comes
    // here; a tab is touched only when its mark changes, so a fill lays out no tab bar anew.
    const UdpDev* c = udpDevs.Selected();
    const bool lift = c != nullptr && HoldsConfigOf(*c, kLiftController);
    const unsigned unread = UnreadRecords();
    static const QString doorTip = QStringLiteral("Konfiguracji tego przejścia nie odczytano z kontrolera.\n"
                                                  "„Zapisz” zapisze ją tylko wtedy, gdy ją tu zmienisz.");
    static const QString liftTip = QStringLiteral("Konfiguracji windy nie odczytano z kontrolera.\n"
                                                  "„Zapisz” zapisze ją tylko wtedy, gdy ją tu zmienisz.");
    const auto mark = [this](auto* bar, int tab, bool on, const QString& tip) {
        if (bar->tabIcon(tab).isNull() != on) return;
        bar->setTabIcon(tab, on ? style()->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
        bar->setTabToolTip(tab, on ? tip : QString());
    };
    QTabBar* tabs = DoorPage->DoorTc();
    for (int door = 0; door < tabs->count(); ++door)
        mark(tabs, door, !lift && (unread & (1u << door)) != 0, doorTip);
    mark(CtrlTypeSet, kLiftSheetIndex, lift && unread != 0, liftTip);
}

void TMainWin::WarnUnreadRecords()
{
    const UdpDev* c = udpDevs.Selected();
    const unsigned unread = UnreadRecords();
    if (c == nullptr || unread == 0) return;
    // Once per selection: the same records of the same controller are not told of again, whatever
    // reads the ticks or the panel's commands make.
    const std::pair<uint32_t, unsigned> told{c->id, unread};
    if (unreadTold_ == told) return;
    unreadTold_ = told;

    const QString name = FromAnsi(DevName(c->id));
    QString text;
    if (busDevs.kind == kLiftController) {
        text = QStringLiteral("Nie udało się odczytać konfiguracji windy kontrolera %1: kontroler przysłał jej "
                              "blok w nieznanej postaci.\n\n"
                              "Zakładka „Winda” jest oznaczona. „Zapisz” nie wyśle tej konfiguracji, dopóki jej "
                              "nie zmienisz, więc konfiguracja zapisana w kontrolerze pozostanie bez zmian.")
                   .arg(name);
    } else {
        QStringList numbers;
        for (int door = 0; door < kMaxDoors; ++door)
            if (unread & (1u << door)) numbers << QString::number(door + 1);
        const QString list = numbers.size() == 1 ? numbers.front()
                                                 : numbers.mid(0, numbers.size() - 1).join(QStringLiteral(", ")) +
                                                       QStringLiteral(" i ") + numbers.back();
        text = QStringLiteral("Nie udało się odczytać konfiguracji %1 %2 kontrolera %3: kontroler przysłał %4 "
                              "w nieznanej postaci.\n\n"
                              "%5 na zakładce. „Zapisz” nie wyśle %6, dopóki %7 nie zmienisz, więc konfiguracja "
                              "zapisana w kontrolerze pozostanie bez zmian.")
                   .arg(numbers.size() == 1 ? QStringLiteral("przejścia") : QStringLiteral("przejść"), list, name,
                        numbers.size() == 1 ? QStringLiteral("jego blok") : QStringLiteral("ich bloki"),
                        numbers.size() == 1 ? QStringLiteral("Przejście jest oznaczone")
                                            : QStringLiteral("Przejścia są oznaczone"),
                        numbers.size() == 1 ? QStringLiteral("jego konfiguracji")
                                            : QStringLiteral("ich konfiguracji"),
                        numbers.size() == 1 ? QStringLiteral("jej") : QStringLiteral("ich"));
    }
    ShowBox([&] { seams_.ShowWarning(this, text); });
}

void TMainWin::UDPTimerTimer()
{
    // The ticks that fall due while a box is open (this tick's, an earlier tick's or a handler's)
    // still run: their polls and keep-alives hold the sessions. Only their own error box is left
    // out, so a failure that repeats every second does not stack boxes.
    QString text;
    bool show = false;
    try {
        Tick();
        return;
    } catch (const UErr& e) {
        text = FromAnsi(e.Text());
        show = true;
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
        show = ReportPollErrors;
        ReportPollErrors = false;
    } catch (...) {
        show = ReportPollErrors;
        ReportPollErrors = false;
    }
    if (!show || boxesOpen_ > 0) return;
    ShowError(text);
}

void TMainWin::Tick()
{
    if (udpDevs.Collect(0)) RebuildControllerList();
    if (udpDevs.count == 0) return;

    // A failure with the selected controller ends the tick only after the keep-alive step: the
    // sessions with the other controllers must not lapse because one controller fails.
    std::exception_ptr failure;
    try {
        PollSelected();
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        KeepAliveStep();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    if (failure) std::rethrow_exception(failure);

    ReportPollErrors = true;
}

void TMainWin::PollSelected()
{
    // No record is addressed while nothing is selected (a search that found controllers and then
    // failed leaves the list unbuilt).
    UdpDev* c = udpDevs.Selected();
    if (c == nullptr) return;
    const bool ok = c->PollStatus();
    if (c->changed) RebuildControllerList();
    if (!ok || TypeCategory(c->id) != kControllerCategory || !busDevs.Poll(*c)) return;
    if (busDevs.doorCount == 0) {
        try {
            LoadControllerConfig(*c);
        } catch (...) {
            // The reading failed and the model is cleared: the panel and the page area must not
            // go on offering what the model no longer holds.
            FillDevicePanel();
            ShowConfigPages();
            throw;
        }
        ShowConfigPages();
        WarnUnreadRecords();
    } else {
        // Unsaved edits survive a change on the bus: the maps are rebuilt from the configuration
        // in memory, which is read again only on a selection. Records that belong to no reading
        // of this controller mark nothing.
        if (HoldsConfigOf(*c, kDoorController))
            doorConfig.RebuildMaps();
        else if (HoldsConfigOf(*c, kLiftController))
            liftConfig.RebuildMaps();
        FillDevicePanel();
    }
}

void TMainWin::KeepAliveStep()
{
    const int k = keepAliveSlot;
    keepAliveSlot = (k + 1) % kKeepAliveSpread;
    // One controller that fails its keep-alive does not keep the others from theirs.
    std::exception_ptr failure;
    for (int i = k; i < udpDevs.count; i += kKeepAliveSpread) {
        try {
            udpDevs[i].KeepAlive();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    }
    if (failure) std::rethrow_exception(failure);
}

// ---------------------------------------------------------------------------------------------
// Bus device panel.

void TMainWin::FillDevicePanel()
{
    const int p = busDevs.presentCount;
    const UdpDev* c = udpDevs.Selected();
    SelDevBox->setTitle(p > 0 && c != nullptr ? QStringLiteral(" ") + FromAnsi(DevName(c->id)) + QStringLiteral(" ")
                                              : QString());

    QStringList lines;
    lines.reserve(p);
    for (int pos = 0; pos < p; ++pos)
        lines.append(FromAnsi(busDevs.DevLine(busDevs.records[busDevs.order[static_cast<std::size_t>(pos)]])));
    DevListBox->clear();
    DevListBox->addItems(lines);
    for (int row = 0; row < DevListBox->count(); ++row) DevListBox->item(row)->setSizeHint(QSize(0, kListLineHeight));

    DelLostBtn->setEnabled(busDevs.HasInactive());

    ReplCb->clear();
    ResList pairs;
    const int n = busDevs.ReplacePairs(pairs);
    for (int q = 0; q < n; ++q) ReplCb->addItem(FromAnsi(busDevs.PairText(pairs[q])), QVariant(pairs[q]));
    const bool any = n > 0;
    ReplCb->setEnabled(any);
    ReplOldLb->setEnabled(any);
    ReplNewLb->setEnabled(any);
    ReplaceBtn->setEnabled(any);
    ReplCb->setCurrentIndex(any ? 0 : -1);
    // The list is narrower than a pair's text; its drop-down shows the pairs whole.
    ReplCb->view()->setMinimumWidth(any ? ReplCb->view()->sizeHintForColumn(0) + 8 : 0);

    FillConfigPage();
}

void TMainWin::ShowClearedModel()
{
    // A reading that failed after an acknowledged command has cleared the model: neither the
    // page area nor the panel go on showing what it held.
    if (busDevs.presentCount != 0 || configOf_) return;
    CtrlTypeSet->hide();
    FillDevicePanel();
}

void TMainWin::DelLostBtnClick()
{
    // Without a selected controller the commands do nothing at all, not even drain the socket.
    if (udpDevs.Selected() == nullptr) return;
    const Outcome outcome = Frame(Busy::Yes, [this] {
        if (udpDevs.Collect(0)) RebuildControllerList();
        // One tick exactly as the timer would run it; it shows its own errors and goes on.
        UDPTimerTimer();
        UdpDev* c = udpDevs.Selected();
        if (c == nullptr) return;
        c->DeleteInactive();
        LoadControllerConfig(*c);
        FillDevicePanel();
    });
    if (outcome != Outcome::Done) ShowClearedModel();
    WarnUnreadRecords();
}

void TMainWin::ReplaceBtnClick()
{
    if (udpDevs.Selected() == nullptr || ReplCb->currentIndex() < 0) return;
    const Outcome outcome = Frame(Busy::Yes, [this] {
        if (udpDevs.Collect(0)) RebuildControllerList();
        UdpDev* c = udpDevs.Selected();
        if (c == nullptr || ReplCb->currentIndex() < 0) return;
        const auto pair = static_cast<uint16_t>(ReplCb->currentData().toUInt());
        c->ReplaceDevice(pair);
        LoadControllerConfig(*c);
        FillDevicePanel();
    });
    if (outcome != Outcome::Done) ShowClearedModel();
    WarnUnreadRecords();
}

// ---------------------------------------------------------------------------------------------
// Writing the configuration.

void TMainWin::WrDCfgBtnClick()
{
    DoorPage->CommitEdits();
    if (const UdpDev* c = udpDevs.Selected(); c == nullptr || !HoldsConfigOf(*c, kDoorController)) return;
    Frame(Busy::Yes, [this] {
        if (udpDevs.Collect(0)) RebuildControllerList();
        UdpDev* c = udpDevs.Selected();
        if (c == nullptr || !HoldsConfigOf(*c, kDoorController)) return;
        doorConfig.Save(*c);
    });
}

void TMainWin::WrLCfgBtnClick()
{
    LiftPage->CommitEdits();
    if (const UdpDev* c = udpDevs.Selected(); c == nullptr || !HoldsConfigOf(*c, kLiftController)) return;
    Frame(Busy::Yes, [this] {
        if (udpDevs.Collect(0)) RebuildControllerList();
        UdpDev* c = udpDevs.Selected();
        if (c == nullptr || !HoldsConfigOf(*c, kLiftController)) return;
        liftConfig.Save(*c);
    });
}

// ---------------------------------------------------------------------------------------------
// The report.

QChar TMainWin::DateSeparator(const QString& shortDateFormat)
{
    static const QString kUnfit = QStringLiteral("/\\:*?\"<>|");
    for (const QChar ch : shortDateFormat) {
        if (ch.isLetter() || ch.isSpace() || ch == QLatin1Char('\'')) continue;
        if (!ch.isPrint() || kUnfit.contains(ch)) break;
        return ch;
    }
    return QLatin1Char('-');
}

QString TMainWin::SuggestedReportName(const QDate& date, QChar separator, uint32_t controllerId)
{
    return date.toString(QStringLiteral("yyyy")) + separator + date.toString(QStringLiteral("MM")) + separator +
           date.toString(QStringLiteral("dd")) + QLatin1Char(' ') + FromAnsi(DevName(controllerId));
}

void TMainWin::RapCfgBtnClick()
{
    DoorPage->CommitEdits();
    if (udpDevs.count == 0 || lokalizDlg_ == nullptr) return;
    const UdpDev* c = udpDevs.Selected();
    if (c == nullptr || !HoldsConfigOf(*c, kDoorController)) return;

    const QChar separator = DateSeparator(QLocale::system().dateFormat(QLocale::ShortFormat));
    const QString suggested = SuggestedReportName(seams_.Now().date(), separator, c->id);
    if (seams_.ExecModal(*lokalizDlg_) != QDialog::Accepted) return;
    const std::optional<QString> fileName = seams_.SaveFileName(this, suggested);
    if (!fileName) return;
    WriteReportFile(WithReportSuffix(*fileName));
}

void TMainWin::WriteReportFile(const QString& fileName)
{
    // Ticks ran while the dialogs were open: the controller and the model are read only now.
    Frame(Busy::No, [this, &fileName] {
        const UdpDev* owner = udpDevs.Selected();
        if (owner == nullptr || !HoldsConfigOf(*owner, kDoorController)) {
            // A tick dropped the configuration meanwhile (a failed re-read, a changed device
            // list): there is nothing that may be reported, and the user is told so.
            throw std::runtime_error(
                QStringLiteral("Raportu nie zapisano: w czasie, gdy były otwarte okna raportu, konfiguracja "
                               "kontrolera przestała być wczytana (kontroler przestał odpowiadać albo zmienił "
                               "listę urządzeń).\n\nWybierz kontroler ponownie i powtórz raport.")
                    .toStdString());
        }
        const std::string location = ToAnsi(lokalizDlg_->LokEdit->text());
        const QDate today = seams_.Now().date();
        const ReportDate date{today.year(), today.month(), today.day()};
        try {
            WriteReport(QFile::encodeName(fileName).toStdString(), owner->id, busDevs, doorConfig, location, date);
        } catch (const ReportFileError& e) {
            throw std::runtime_error(QStringLiteral("Nie można zapisać raportu do pliku\n%1\n\n%2")
                                         .arg(QDir::toNativeSeparators(fileName),
                                              QString::fromLocal8Bit(e.systemMessage.c_str()))
                                         .toStdString());
        }
    });
}
