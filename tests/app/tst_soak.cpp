// A day of virtual time: the main window on the simulated LAN with random user actions and random
// faults of the network and the controllers, checked after every tick. The randomness is seeded
// (OLM_SOAK_SEED replays a run; OLM_SOAK_HOURS shortens or lengthens it); a failure names its seed.
#include <QCheckBox>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "editors/editors.h"
#include "rig.h"
#include "sim/samples.h"

namespace {

constexpr int64_t kHourMs = 3600 * 1000;

uint64_t EnvNumber(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    return text != nullptr && *text != 0 ? std::strtoull(text, nullptr, 10) : fallback;
}

// Heap in use, where the allocator can say (not under AddressSanitizer, whose allocator keeps
// freed blocks in quarantine).
std::optional<std::size_t> HeapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return std::nullopt;
#else
    return mallinfo2().uordblks;
#endif
}

class Soak {
public:
    explicit Soak(uint64_t seed) : seed_(seed), random_(seed)
    {
        AddSampleControllers(lan_);
        for (const SampleController& sample : SampleControllers()) Watch(*lan_.Peer(sample.id));
        rig_ = std::make_unique<Rig>(lan_);
        Win().UDPTimer->stop();
        // A box runs an event loop: the ticks that fall due while it is open run inside it.
        rig_->seams.onError = [this](const QString&) { TicksInsideABox(); };
        rig_->seams.onWarning = [this](const QString&) {
            TicksInsideABox();
            writeSoon_ = true;   // a user told of an unread door is likely to press "Zapisz" next
        };
        rig_->seams.onExec = [this](QDialog& dialog) {
            if (dialog.objectName() != QStringLiteral("LokalizDlg")) return int(QDialog::Rejected);
            TicksInsideABox();
            return Chance(0.8) ? int(QDialog::Accepted) : int(QDialog::Rejected);
        };
        rig_->seams.saveAnswer = dir_.filePath(QStringLiteral("raport.txt"));
        Check("start-up");
    }

    void Run(int64_t untilMs)
    {
        int64_t nextTick = lan_.NowMs();
        std::optional<std::size_t> heapAfterWarmUp;
        while (lan_.NowMs() < untilMs) {
            nextTick += 1000;
            if (lan_.NowMs() < nextTick) lan_.Advance(nextTick - lan_.NowMs());
            ExpireFaults();
            tickTimes_.push_back(lan_.NowMs());
            if (tickTimes_.size() > 16) tickTimes_.erase(tickTimes_.begin());
            Win().UDPTimerTimer();
            ++ticks_;
            Check("tick");
            if (Chance(0.15)) Act();
            if (Chance(0.04)) InjectFault();
            if (!heapAfterWarmUp && lan_.NowMs() >= kHourMs) heapAfterWarmUp = HeapInUse();
            if (QTest::currentTestFailed()) return;
        }
        if (heapAfterWarmUp) {
            const std::size_t end = *HeapInUse();
            std::printf("soak: heap in use after 1 h %zu bytes, at the end %zu bytes\n", *heapAfterWarmUp, end);
            QVERIFY2(end < *heapAfterWarmUp + 2 * 1024 * 1024, qPrintable(Where("memory grew")));
        }
    }

    void Report()
    {
        std::printf("soak: seed %llu, %lld h of virtual time, %llu ticks (%llu inside boxes), %llu faults, %llu commands "
                    "(%llu writes, %llu deletes, %llu replacements, %llu reports, %llu selections, %llu picks), "
                    "%llu error boxes, %llu warnings\n",
                    static_cast<unsigned long long>(seed_), static_cast<long long>(lan_.NowMs() / kHourMs),
                    ull(ticks_), ull(nestedTicks_), ull(faults_), ull(commands_), ull(writes_), ull(deletes_),
                    ull(replacements_), ull(reports_), ull(selections_), ull(picks_), ull(errorBoxes_), ull(warnings_));
    }

private:
    static unsigned long long ull(uint64_t v) { return static_cast<unsigned long long>(v); }
    TMainWin& Win() { return *rig_->win; }
    bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    QString Where(const char* what)
    {
        return QStringLiteral("%1 after a %2 (seed %3, tick %4, virtual time %5 s)")
            .arg(QString::fromUtf8(what), QString::fromUtf8(step_))
            .arg(seed_)
            .arg(ticks_)
            .arg(lan_.NowMs() / 1000);
    }

    // ------------------------------------------------------------------------------------------
    // What is known of each controller between checks.

    struct PeerState {
        ControllerPeer* peer = nullptr;
        std::size_t seen = 0;                 // log entries already checked
        std::optional<uint16_t> lastCounter;  // of the last signed request since the last K
        int64_t lastFaultMs = -1000000;       // when a fault last touched it
    };

    void Watch(ControllerPeer& peer) { peers_[peer.id].peer = &peer; }

    // What the window may write to: the controller whose configuration it shows, and which of
    // its records were read or edited. Taken before every user action.
    struct Shown {
        std::optional<uint32_t> selected;
        bool pages = false;
        unsigned writableDoors = 0;
        bool liftWritable = false;
        int presentCount = 0;
    };

    Shown WhatIsShown()
    {
        Shown s;
        TMainWin& w = Win();
        if (const UdpDev* c = w.udpDevs.Selected()) s.selected = c->id;
        s.pages = !w.CtrlTypeSet->isHidden();
        for (int door = 0; door < w.busDevs.doorCount && door < 8; ++door)
            if (w.doorConfig.WasRead(door) || w.doorConfig.WasEdited(door)) s.writableDoors |= 1u << door;
        s.liftWritable = w.liftConfig.WasRead() || w.liftConfig.WasEdited();
        s.presentCount = w.busDevs.presentCount;
        return s;
    }

    // After every tick and every action: the traffic each controller received, the boxes, the
    // sessions.
    void Check(const char* step, const std::optional<Shown>& before = std::nullopt)
    {
        step_ = step;
        const int64_t now = lan_.NowMs();
        for (auto& [id, st] : peers_) {
            ControllerPeer& peer = *st.peer;
            for (std::size_t i = st.seen; i < peer.log.size(); ++i) {
                const PeerRequest& r = peer.log[i];
                if (!r.isSigned && r.letter == 'K') st.lastCounter.reset();
                if (r.isSigned) {
                    // Every signed datagram of one session carries the next counter, the first 1.
                    const uint16_t expected = st.lastCounter ? static_cast<uint16_t>(*st.lastCounter + 1) : uint16_t{1};
                    QVERIFY2(r.counter == expected,
                             qPrintable(Where("counter out of step") + QStringLiteral(": %1 got %2 after %3")
                                                                          .arg(QString::fromStdString(DevName(id)))
                                                                          .arg(r.counter)
                                                                          .arg(expected)));
                    st.lastCounter = r.counter;
                }
                if (r.isSigned && (r.letter == 'c' || r.letter == 'F' || r.letter == 'R')) {
                    // Only a user's command writes, and only to the controller whose
                    // configuration (or device panel) is shown.
                    QVERIFY2(before.has_value(), qPrintable(Where("a tick wrote to a controller")));
                    QVERIFY2(before->selected == id,
                             qPrintable(Where("c, F or R reached a controller that is not shown") +
                                        QStringLiteral(": ") + QString::fromStdString(DevName(id))));
                    if (r.letter == 'c') {
                        QVERIFY2(before->pages, qPrintable(Where("c without a configuration shown")));
                        const int index = r.payload.size() >= 2 ? r.payload[1] : -1;
                        const bool allowed = r.payload.at(0) == 2 ? before->liftWritable
                                                                  : index >= 0 && index < 8 &&
                                                                        (before->writableDoors & (1u << index)) != 0;
                        QVERIFY2(allowed, qPrintable(Where("a record that was not read was written")));
                    } else {
                        QVERIFY2(before->presentCount > 0, qPrintable(Where("F or R without a device list shown")));
                    }
                }
            }
            st.seen = peer.log.size();
            if (QTest::currentTestFailed()) return;
        }

        QVERIFY2(rig_->seams.mostBoxesOpen <= 1, qPrintable(Where("two boxes open at once")));
        errorBoxes_ += static_cast<uint64_t>(rig_->seams.errors.size());
        warnings_ += static_cast<uint64_t>(rig_->seams.warnings.size());
        rig_->seams.errors.clear();
        rig_->seams.warnings.clear();

        // A session the program holds is alive on the controller, unless a fault touched that
        // controller within its 30 s or left it unreachable, or the ticks themselves fell behind (a tick may last longer
        // than a second while exchanges time out).
        const bool ticksOnTime = tickTimes_.size() < 16 || tickTimes_.back() - tickTimes_.front() <= 25000;
        TMainWin& w = Win();
        for (int i = 0; i < w.udpDevs.count && ticksOnTime; ++i) {
            const UdpDev& dev = w.udpDevs[i];
            const auto found = peers_.find(dev.id);
            // A controller the program found unreachable gets no keep-alive until it is polled
            // again (selected): the fault that made it unreachable takes its session.
            if (!dev.hasSession || !dev.reachable || found == peers_.end()) continue;
            if (now - found->second.lastFaultMs < 35000) continue;
            QVERIFY2(found->second.peer->HasSession(now),
                     qPrintable(Where("a session lapsed while the program held it") + QStringLiteral(": ") +
                                QString::fromStdString(DevName(dev.id))));
        }

        // The recordings would grow for ever; what was checked is dropped.
        lan_.ClearLog();
        for (auto& [id, st] : peers_) {
            st.peer->log.clear();
            st.seen = 0;
        }
    }

    void TicksInsideABox()
    {
        for (int n = Pick(3); n > 0; --n) {
            lan_.Advance(1000);
            Win().UDPTimerTimer();
            ++nestedTicks_;
        }
    }

    // ------------------------------------------------------------------------------------------
    // The user.

    void Act()
    {
        TMainWin& w = Win();
        const std::optional<Shown> before = WhatIsShown();
        ++commands_;
        int action = Pick(10);
        if (writeSoon_) {
            writeSoon_ = false;
            if (Chance(0.7)) action = 5;
        }
        switch (action) {
        case 0:
        case 1:
            if (w.udpDevs.count > 0) {
                rig_->Select(Pick(w.udpDevs.count));
                ++selections_;
            }
            break;
        case 2:
        case 3:
        case 4:
            PickSomething();
            break;
        case 5:
            if (!w.CtrlTypeSet->isHidden()) {
                if (w.CtrlTypeSet->currentWidget() == w.LiftSheet)
                    w.WrLCfgBtnClick();
                else
                    w.WrDCfgBtnClick();
                ++writes_;
            }
            break;
        case 6:
            if (w.DelLostBtn->isEnabled()) {
                w.DelLostBtnClick();
                ++deletes_;
            }
            break;
        case 7:
            if (w.ReplaceBtn->isEnabled() && w.ReplCb->count() > 0) {
                w.ReplCb->setCurrentIndex(Pick(w.ReplCb->count()));
                w.ReplaceBtnClick();
                ++replacements_;
            }
            break;
        case 8:
            if (!w.CtrlTypeSet->isHidden() && w.CtrlTypeSet->currentWidget() == w.DoorSheet) {
                w.RapCfgBtnClick();
                ++reports_;
            }
            break;
        default:
            if (QTabBar* tabs = w.DoorPage->DoorTc(); tabs->count() > 0) tabs->setCurrentIndex(Pick(tabs->count()));
            break;
        }
        Check("action", before);
    }

    void PickSomething()
    {
        TMainWin& w = Win();
        if (w.CtrlTypeSet->isHidden()) return;
        QWidget* page = w.CtrlTypeSet->currentWidget() == w.LiftSheet ? static_cast<QWidget*>(w.LiftPage)
                                                                        : static_cast<QWidget*>(w.DoorPage);
        if (Chance(0.2)) {
            const QList<QCheckBox*> boxes = page->findChildren<QCheckBox*>();
            QList<QCheckBox*> live;
            for (QCheckBox* b : boxes)
                if (b->isEnabled()) live << b;
            if (!live.isEmpty()) live[Pick(int(live.size()))]->click();
            return;
        }
        QList<QComboBox*> pickers;
        for (QComboBox* c : page->findChildren<QComboBox*>())
            if (c->isEnabled() && c->count() > 0 && c->objectName().endsWith(QStringLiteral("Sel"))) pickers << c;
        if (pickers.isEmpty()) return;
        QComboBox* picker = pickers[Pick(int(pickers.size()))];
        const int row = Pick(std::min(picker->count(), 40));
        picker->setCurrentIndex(row);
        emit picker->activated(row);
        ++picks_;
    }

    // ------------------------------------------------------------------------------------------
    // The network and the controllers.

    void InjectFault()
    {
        ++faults_;
        const int64_t now = lan_.NowMs();
        std::vector<PeerState*> all;
        for (auto& [id, st] : peers_) all.push_back(&st);
        PeerState& st = *all[static_cast<std::size_t>(Pick(int(all.size())))];
        ControllerPeer& p = *st.peer;
        st.lastFaultMs = now;
        const int64_t until = now + 1000 * (1 + Pick(20));
        switch (Pick(12)) {
        case 0: p.faults.dropReplies = 1 + Pick(3); break;
        case 1: p.faults.lateMs = 250 + 50 * Pick(3); lateUntil_[p.id] = until; break;
        case 2: p.faults.duplicate = true; duplicateUntil_[p.id] = until; break;
        case 3: p.faults.badCrc = 1 + Pick(2); break;
        case 4: p.faults.badCode = 1; break;
        case 5: p.faults.foreignSession = true; foreignUntil_[p.id] = until; break;
        case 6: ChangeDeviceList(p); break;
        case 7: p.status = static_cast<uint8_t>((p.status & ~3) | Pick(4)); break;
        case 8: p.faults.silent = true; silentUntil_[p.id] = now + 1000 * (5 + Pick(60)); break;
        case 9: AddController(); break;
        case 10: {
            // A door or lift block the controller sends malformed for a while.
            std::vector<std::size_t> held;
            for (std::size_t b = 0; b < p.blocks.size(); ++b)
                if (p.blocks[b].size() >= kBlockHeader) held.push_back(b);
            if (held.empty()) break;
            const std::size_t b = held[static_cast<std::size_t>(Pick(int(held.size())))];
            p.blocks[b][3] ^= 0x40;
            malformedUntil_[{p.id, b}] = until + 30000;
            break;
        }
        default:
            // A reply corrupted on the way: one bit flipped in the next reply.
            p.mutateReply = [this, &p](const PeerRequest&, std::vector<uint8_t>& frame) {
                if (!frame.empty()) frame[static_cast<std::size_t>(Pick(int(frame.size())))] ^= 0x10;
                p.mutateReply = nullptr;
            };
            break;
        }
    }

    void ExpireFaults()
    {
        const int64_t now = lan_.NowMs();
        const auto expire = [&](std::map<uint32_t, int64_t>& until, const auto& reset) {
            for (auto it = until.begin(); it != until.end();) {
                if (it->second <= now) {
                    reset(*peers_.at(it->first).peer);
                    peers_.at(it->first).lastFaultMs = now;
                    it = until.erase(it);
                } else {
                    ++it;
                }
            }
        };
        expire(lateUntil_, [](ControllerPeer& p) { p.faults.lateMs = 0; });
        expire(duplicateUntil_, [](ControllerPeer& p) { p.faults.duplicate = false; });
        expire(foreignUntil_, [](ControllerPeer& p) { p.faults.foreignSession = false; });
        expire(silentUntil_, [](ControllerPeer& p) { p.faults.silent = false; });
        for (auto it = malformedUntil_.begin(); it != malformedUntil_.end();) {
            if (it->second > now) {
                ++it;
                continue;
            }
            std::vector<uint8_t>& block = peers_.at(it->first.first).peer->blocks[it->first.second];
            // The program never wrote over it (it may have written it after an edit; then the
            // header stands as the controller kept it).
            if (block.size() >= kBlockHeader) block[3] ^= 0x40;
            it = malformedUntil_.erase(it);
        }
    }

    // The controller's bus changes: a device is lost or comes back, a new one joins, the list is
    // briefly invalid.
    void ChangeDeviceList(ControllerPeer& p)
    {
        std::vector<uint8_t>& list = p.deviceList;
        if (list.size() < kListHeader + kListRecord) return;
        const std::size_t count = std::min<std::size_t>(GetU16(list.data()), (list.size() - kListHeader) / kListRecord);
        switch (Pick(4)) {
        case 0:
        case 1: {
            if (count < 2) break;
            uint8_t& status = list[kListHeader + kListRecord * static_cast<std::size_t>(1 + Pick(int(count) - 1)) + 5];
            status ^= static_cast<uint8_t>(std::array<int, 4>{0x80, 0x10, 0x20, 0x40}[static_cast<std::size_t>(Pick(4))]);
            break;
        }
        case 2:
            if (count < 100) {
                const DevSpec reader = ReaderDev(static_cast<uint32_t>(5000 + Pick(30)), kNew);
                const std::vector<uint8_t> one = DeviceListBlock(1, 1, {reader});
                list.insert(list.end(), one.begin() + kListHeader, one.end());
                PutU16(list.data(), static_cast<uint16_t>(count + 1));
            }
            break;
        default: {
            // Invalid for a moment (no doors), then as it was.
            const uint8_t header = list[2];
            list[2] = static_cast<uint8_t>(header & 0xF0);
            p.mutateReply = [&p, header](const PeerRequest& r, std::vector<uint8_t>&) {
                if (r.letter == 'D') {
                    p.deviceList[2] = header;
                    p.mutateReply = nullptr;
                }
            };
            break;
        }
        }
    }

    void AddController()
    {
        if (added_ >= 8) return;
        ++added_;
        const uint32_t id = MakeId(305, 3000 + static_cast<uint32_t>(added_));
        const uint32_t ip = Ip(192, 168, 7, static_cast<uint32_t>(added_));
        ControllerPeer& peer = AddDoorController(lan_, ip, id, static_cast<uint8_t>(2 + Pick(2)), 1 + Pick(8),
                                                 {ReaderDev(static_cast<uint32_t>(added_), kInactive),
                                                  ReaderDev(static_cast<uint32_t>(100 + added_), kNew)});
        Watch(peer);
        // It answers a search of another program on the network: its reply reaches this one too.
        lan_.Inject(ip, DiscoveryReply(id, peer.status), lan_.NowMs() + 5);
    }

    uint64_t seed_;
    std::mt19937_64 random_;
    SimLan lan_;
    std::unique_ptr<Rig> rig_;
    QTemporaryDir dir_;
    std::map<uint32_t, PeerState> peers_;
    std::map<uint32_t, int64_t> lateUntil_, duplicateUntil_, foreignUntil_, silentUntil_;
    std::map<std::pair<uint32_t, std::size_t>, int64_t> malformedUntil_;   // (controller, block index)
    std::vector<int64_t> tickTimes_;
    int added_ = 0;
    bool writeSoon_ = false;
    const char* step_ = "";
    uint64_t ticks_ = 0, nestedTicks_ = 0, faults_ = 0, commands_ = 0, writes_ = 0, deletes_ = 0, replacements_ = 0,
             reports_ = 0, selections_ = 0, picks_ = 0, errorBoxes_ = 0, warnings_ = 0;
};

}  // namespace

class TestSoak : public QObject {
    Q_OBJECT
private slots:
    void aDayOfRandomUseAndFaults();
};

void TestSoak::aDayOfRandomUseAndFaults()
{
    const uint64_t seed = EnvNumber("OLM_SOAK_SEED", 20261210);
    const uint64_t hours = EnvNumber("OLM_SOAK_HOURS", 24);
    std::printf("soak: seed %llu (replay with OLM_SOAK_SEED=%llu)\n", static_cast<unsigned long long>(seed),
                static_cast<unsigned long long>(seed));
    Soak soak(seed);
    soak.Run(static_cast<int64_t>(hours) * kHourMs);
    soak.Report();
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
