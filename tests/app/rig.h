#pragma once
// The main window on a simulated LAN, with its side effects (error box, dialogs, browser, clock)
// replaced by a recorder. The timer is stopped: tests run ticks themselves.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QListWidget>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/seams.h"
#include "app/wmain.h"
#include "help/lokdlg.h"
#include "help/whelp.h"
#include "link/endpoint.h"
#include "link/frame.h"
#include "sim/blocks.h"
#include "sim/simlan.h"
#include "tests/common/cp1250.h"

struct FakeSeams : AppSeams {
    QStringList errors;
    std::function<void(const QString&)> onError;   // runs while the box is "open"
    QStringList warnings;
    std::function<void(const QString&)> onWarning;
    int boxesOpen = 0;      // error and warning boxes open now
    int mostBoxesOpen = 0;  // the most that were ever open at once
    QStringList dialogs;                        // object names of the dialogs shown modally
    std::function<int(QDialog&)> onExec;        // answers a modal dialog; Rejected by default
    QStringList suggestedNames;
    std::optional<QString> saveAnswer;
    QList<QUrl> urls;
    QDateTime now{QDate(2024, 5, 7), QTime(9, 30)};

    void ShowError(QWidget*, const QString& text) override
    {
        errors << text;
        const Open open(*this);
        if (onError) onError(text);
    }
    void ShowWarning(QWidget*, const QString& text) override
    {
        warnings << text;
        const Open open(*this);
        if (onWarning) onWarning(text);
    }
    // Counts a box as open for as long as its answer runs.
    struct Open {
        explicit Open(FakeSeams& s) : seams(s) { seams.mostBoxesOpen = std::max(seams.mostBoxesOpen, ++seams.boxesOpen); }
        ~Open() { --seams.boxesOpen; }
        Open(const Open&) = delete;
        Open& operator=(const Open&) = delete;
        FakeSeams& seams;
    };
    int ExecModal(QDialog& dialog) override
    {
        dialogs << dialog.objectName();
        return onExec ? onExec(dialog) : int(QDialog::Rejected);
    }
    // Answers the save dialog with saveAnswer, or through onSave (the real dialog, say) when set.
    std::function<std::optional<QString>(QWidget*, const QString&)> onSave;
    std::optional<QString> SaveFileName(QWidget* parent, const QString& suggested) override
    {
        suggestedNames << suggested;
        return onSave ? onSave(parent, suggested) : saveAnswer;
    }
    void OpenUrl(const QUrl& url) override { urls << url; }
    QDateTime Now() override { return now; }
};

// Once the event loop of a modal dialog of this type runs, hands the dialog to `answer`, which must
// close it.
template <class Dialog>
void WhenShown(const std::function<void(Dialog&)>& answer)
{
    QTimer::singleShot(0, [answer] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<Dialog*>(top); dialog != nullptr && dialog->isVisible())
                return answer(*dialog);
        QApplication::closeAllWindows();   // not shown: end the test instead of waiting forever
    });
}

// A simulated LAN that can be told to fail the way a socket fails.
class FaultyLan : public SimLan {
public:
    char failSendLetter = 0;        // sending an unsigned frame with this letter throws
    bool failReceive = false;       // every receive throws

    void SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length) override
    {
        if (failSendLetter != 0 && length >= 4 && data[3] == static_cast<uint8_t>(failSendLetter))
            throw std::runtime_error("sendto: Network is unreachable");
        SimLan::SendTo(ip, port, data, length);
    }
    std::optional<std::size_t> Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs, uint32_t& fromIp,
                                       uint16_t& fromPort) override
    {
        if (failReceive) throw std::runtime_error("recvfrom: Connection refused");
        return SimLan::Receive(buffer, capacity, timeoutMs, fromIp, fromPort);
    }
};

constexpr uint32_t Ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) { return a << 24 | b << 16 | c << 8 | d; }

constexpr uint8_t kBlokada = 0;
constexpr uint8_t kSerwis = 2;
constexpr uint8_t kInstalacja = 3;
constexpr uint8_t kInactive = 0x80;
constexpr uint8_t kTamper = 0x20;
constexpr uint8_t kNew = 0x10;

// Devices of the bus: a controller with 4 relay and 8 open-collector outputs, readers, a keypad.
inline DevSpec ControllerDev(uint32_t id, uint8_t info = 3) { return {id, info, 0, 4, 8, 8, 2}; }
inline DevSpec ReaderDev(uint32_t serial, uint8_t status = 0) { return {MakeId(7, serial), 1, status, 1, 0, 2, 1}; }
inline DevSpec KeypadDev(uint32_t serial, uint8_t status = 0) { return {MakeId(512, serial), 1, status, 0, 0, 1, 1}; }

// A door controller with empty door blocks except for the names "Drzwi 1".."Drzwi n" and the
// lock of door 0 on the controller's output 1.
inline ControllerPeer& AddDoorController(SimLan& lan, uint32_t ip, uint32_t id, uint8_t mode, int doors,
                                         std::vector<DevSpec> others = {})
{
    ControllerPeer& peer = lan.AddPeer(ip, id, mode);
    std::vector<DevSpec> devices{ControllerDev(id)};
    devices.insert(devices.end(), others.begin(), others.end());
    peer.deviceList = DeviceListBlock(1, static_cast<uint8_t>(doors), devices);
    for (int i = 0; i < doors; ++i) {
        std::vector<uint8_t> block = EmptyDoorBlock();
        SetBlockName(block, "Drzwi " + std::to_string(i + 1));
        block[kParamOffset + 5] = static_cast<uint8_t>(0x30 + i);   // a byte the program does not interpret
        peer.blocks[static_cast<std::size_t>(i)] = block;
    }
    if (doors > 0) SetBlockSlot(peer.blocks[0], 0, 0x0001);
    return peer;
}

inline ControllerPeer& AddLiftController(SimLan& lan, uint32_t ip, uint32_t id, uint8_t mode)
{
    ControllerPeer& peer = lan.AddPeer(ip, id, mode);
    peer.deviceList = DeviceListBlock(2, 1, {{id, 1, 0, 4, 0, 8, 2}, {MakeId(705, 31), 1, 0, 0x83, 0, 4, 0}});
    std::vector<uint8_t> block = EmptyLiftBlock();
    SetBlockSlot(block, 0, 0x0100);
    SetBlockSlot(block, 8, 0x0003);   // input slot 0: not shown, written back as read
    SetBlockName(block, "Winda A");
    peer.blocks[0] = block;
    return peer;
}

// The window with its help window and location dialog, as the program makes them.
struct Rig {
    explicit Rig(SimLan& lan) : win(std::make_unique<TMainWin>(lan, seams))
    {
        win->UDPTimer->stop();
        win->SetSecondaryWindows(&help, &lok);
    }

    // The line of the controller with this identifier.
    int Line(uint32_t id) const
    {
        for (int i = 0; i < win->udpDevs.count; ++i)
            if (win->udpDevs[i].id == id) return i;
        return -1;
    }
    // The user picks a line of the controller list.
    void Select(int line)
    {
        {
            const QSignalBlocker block(win->EthLstBox);
            win->EthLstBox->setCurrentRow(line);
        }
        win->EthLstBoxClick();
    }
    void Select(uint32_t id) { Select(Line(id)); }

    FakeSeams seams;
    THelpWin help;
    TLokalizDlg lok;
    std::unique_ptr<TMainWin> win;
};

// The command letters a peer was sent since entry `from` of its log (unsigned and signed alike).
inline QByteArray Letters(const ControllerPeer& peer, std::size_t from = 0)
{
    QByteArray letters;
    for (std::size_t i = from; i < peer.log.size(); ++i) letters += peer.log[i].letter;
    return letters;
}

// The requests with one letter, in order.
inline std::vector<PeerRequest> Requests(const ControllerPeer& peer, char letter, std::size_t from = 0)
{
    std::vector<PeerRequest> out;
    for (std::size_t i = from; i < peer.log.size(); ++i)
        if (peer.log[i].letter == letter) out.push_back(peer.log[i]);
    return out;
}

inline QStringList Lines(const QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
}

// The message of a link error as the user reads it.
inline QString ErrText(const char* devName, const char* mode, int kind, char cmd, const char* text)
{
    QString s = QString::fromUtf8(devName) + QStringLiteral(", tryb: ") + QString::fromUtf8(mode) +
                QStringLiteral(".\n\nBłąd nr ") + QString::number(kind);
    if (cmd != 0) s += QStringLiteral(" (r.'") + QChar::fromLatin1(cmd) + QStringLiteral("')");
    return s + QStringLiteral(": ") + QString::fromUtf8(text) + QLatin1Char('\n');
}

// A discovery reply of a controller, as it arrives unasked.
inline std::vector<uint8_t> DiscoveryReply(uint32_t id, uint8_t status)
{
    std::vector<uint8_t> payload(16, 0);
    payload[2] = status;
    payload[3] = '1';
    return BuildUnsigned('O', id, payload);
}
