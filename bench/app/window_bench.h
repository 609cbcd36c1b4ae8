#pragma once
// What the benchmarks of the window share: side effects that print instead of blocking, the CPU
// clock, medians, and the largest controller that a selection can meet.
#include <ctime>

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/seams.h"
#include "sim/blocks.h"
#include "sim/simlan.h"

// Side effects print instead of blocking: a benchmark has nobody to close a box.
class QuietSeams : public AppSeams {
public:
    void ShowError(QWidget*, const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    void ShowWarning(QWidget*, const QString& text) override { std::fprintf(stderr, "warning: %s\n", qPrintable(text)); }
    int ExecModal(QDialog&) override { return QDialog::Rejected; }
    std::optional<QString> SaveFileName(QWidget*, const QString&) override { return std::nullopt; }
    void OpenUrl(const QUrl&) override {}
    QDateTime Now() override { return QDateTime::currentDateTime(); }
};

// CPU time of the whole process, in milliseconds.
inline double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

inline double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

constexpr int kLargestBus = 108;

// The largest bus: the controller and 107 devices of 31 outputs, 31 inputs and 3 readers; eight
// doors with their locks, sensors, exit buttons and readers bound.
inline void AddLargestController(SimLan& lan, uint32_t id)
{
    ControllerPeer& peer = lan.AddPeer(0xC0A80116u, id, 2);
    std::vector<DevSpec> devices;
    for (uint32_t i = 0; i < kLargestBus; ++i)
        devices.push_back(i == 0 ? DevSpec{id, 1, 0, 4, 8, 16, 2} : DevSpec{MakeId(712, i), 1, 0, 31, 31, 31, 3});
    peer.deviceList = DeviceListBlock(1, 8, devices);
    for (int door = 0; door < 8; ++door) {
        std::vector<uint8_t> block = EmptyDoorBlock();
        const auto dev = static_cast<uint16_t>((door + 1) << 8);
        SetBlockSlot(block, 0, dev);                                // lock
        SetBlockSlot(block, 7, dev);                                // door sensor
        SetBlockSlot(block, 6, static_cast<uint16_t>(dev | 1));     // exit button
        SetBlockSlot(block, 16, dev);                               // reader
        SetBlockName(block, "Drzwi " + std::to_string(door + 1));
        peer.blocks[static_cast<std::size_t>(door)] = block;
    }
}
