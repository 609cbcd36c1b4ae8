#pragma once
// A controller peer on the simulated LAN, the model read from it as the shell reads it, and the
// door and lift pages on that model; plus helpers that act on the pages as a user would.
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "editors/editors.h"
#include "link/endpoint.h"
#include "link/udpdev.h"
#include "model/ctrlcfg.h"
#include "sim/blocks.h"
#include "sim/simlan.h"

// The device list of the door tests, in slot order. Display order: the controller first, then by
// type code: slot 2 (reader), slot 1 (OC module), slot 3 (output-set module).
//   slot 0  K105_00042  controller: 4 relay outputs, 6 inputs, 2 readers
//   slot 1  D112_00005  module: 4 open-collector outputs, 4 inputs
//   slot 2  R107_00007  reader: 2 inputs, 1 reader port
//   slot 3  D120_00009  lift module: 2 output sets, 2 inputs
inline const std::array<const char*, 4> kDevNames{"K105_00042", "D112_00005", "R107_00007", "D120_00009"};

inline std::vector<DevSpec> StandardDevices()
{
    return {
        {MakeId(305, 42), 1, 0, 4, 0, 6, 2},
        {MakeId(712, 5), 1, 0, 4, 4, 4, 0},
        {MakeId(7, 7), 1, 0, 0, 0, 2, 1},
        {MakeId(720, 9), 1, 0, 0x82, 0, 2, 0},
    };
}

// Entry text of a resource of the standard devices, written out independently of the model.
inline QString Entry(int device, const char* prefix, int number)
{
    return QString::fromLatin1(kDevNames[static_cast<std::size_t>(device)]) + u':' + QLatin1String(prefix) +
           QString::number(number + 1);
}

inline const QString kEmpty = QStringLiteral("  -----");

struct Rig {
    static constexpr uint32_t kIp = 0xC0A80114u;   // 192.168.1.20

    // kind 1 with doorCount doors, or kind 2 (lift); every block starts empty.
    Rig(int kind, int doorCount, std::vector<DevSpec> devices = StandardDevices(), uint8_t mode = 3)
        : peer(lan.AddPeer(kIp, MakeId(305, 42), mode))
    {
        SetEndpoint(&lan);
        peer.deviceList = DeviceListBlock(static_cast<uint8_t>(kind), static_cast<uint8_t>(doorCount), devices);
        for (auto& b : peer.blocks) b = kind == 2 ? EmptyLiftBlock() : EmptyDoorBlock();
        dev.id = peer.id;
        dev.ip = kIp;
        dev.reachable = true;
    }
    ~Rig() { SetEndpoint(nullptr); }

    // What a selection does: status poll, device list, configuration, tabs and airlock list, fill.
    void Load()
    {
        QVERIFY(dev.PollStatus());
        devs.Clear();
        devs.Load(dev);
        if (devs.kind == 1) doors.Load(dev);
        if (devs.kind == 2) lift.Load(dev);
        doorPage->SetDoorTabs(devs.doorCount);
        doorPage->SetAirlockEntries(devs.doorCount);
        FillConfigPage();
    }

    // The main window's FillConfigPage: the page of the controller's kind.
    void FillConfigPage()
    {
        if (devs.kind == 1) doorPage->FillDoorPage();
        if (devs.kind == 2) liftPage->FillLiftPage();
    }

    // Shows both pages and makes the door page the active window, so focus moves as on a desktop.
    void Show(QWidget* page)
    {
        page->show();
        page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(page));
    }

    // "Zapisz": the records as the controller received them, one payload (kind, index, record)
    // per c request.
    std::vector<std::vector<uint8_t>> SaveAndCollect()
    {
        peer.log.clear();
        if (devs.kind == 2) lift.Save(dev);
        else doors.Save(dev);
        std::vector<std::vector<uint8_t>> written;
        for (const PeerRequest& r : peer.log)
            if (r.isSigned && r.letter == 'c') written.push_back(r.payload);
        return written;
    }

    SimLan lan;
    ControllerPeer& peer;
    UdpDev dev;
    BusDevSet devs;
    DoorConfig doors{devs};
    LiftConfig lift{devs};
    bool fillingPage = false;
    std::unique_ptr<TDoorPage> doorPage =
        std::make_unique<TDoorPage>(EditorModel{devs, doors, lift, [this] { return dev.ModeIndex(); }}, fillingPage);
    std::unique_ptr<TLiftPage> liftPage =
        std::make_unique<TLiftPage>(EditorModel{devs, doors, lift, [this] { return dev.ModeIndex(); }}, fillingPage);
};

template <typename T>
T* Ctl(QWidget* page, const char* name)
{
    T* w = page->findChild<T*>(QLatin1String(name));
    if (w == nullptr) qFatal("no control %s", name);
    return w;
}

inline QStringList Texts(const QComboBox* c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    return out;
}

inline int RowOf(const QComboBox* c, const QString& text)
{
    return c->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

// A user's choice of the entry with the given text (the first when several read alike).
inline void Choose(QComboBox* c, const QString& text)
{
    const int row = RowOf(c, text);
    QVERIFY2(row >= 0, qPrintable(QStringLiteral("no entry ") + text));
    c->setCurrentIndex(row);
    emit c->activated(row);
}

inline void ChooseRow(QComboBox* c, int row)
{
    c->setCurrentIndex(row);
    emit c->activated(row);
}

// Key presses that type the text, one character each (Polish letters included).
inline void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        const int key = ch.isLetter() ? ch.toUpper().unicode() : ch.unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(widget, &press);
        QCoreApplication::sendEvent(widget, &release);
    }
}

// Types into a field as a user would (replacing its text) and moves the focus on to another control.
inline void TypeAndLeave(QLineEdit* field, const QString& text, QWidget* next)
{
    field->setFocus(Qt::MouseFocusReason);
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    TypeText(field, text);
    next->setFocus(Qt::MouseFocusReason);
}

inline uint16_t Slot16(const std::vector<uint8_t>& payload, int slot)
{
    const std::size_t at = 2 + 2 * static_cast<std::size_t>(slot);
    return static_cast<uint16_t>(payload[at] | payload[at + 1] << 8);
}
