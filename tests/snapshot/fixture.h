#pragma once
// Snapshots of the sample controllers, and buses rebuilt from their device lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "link/frame.h"
#include "sim/blocks.h"
#include "sim/samples.h"
#include "snapshot/snapshot.h"

inline const SampleController& Sample(int doorsHeader)   // 0x14 four doors, 0x18 eight, 0x21 lift
{
    static const std::vector<SampleController> samples = SampleControllers();
    for (const SampleController& s : samples)
        if (s.deviceList.size() > 2 && s.deviceList[2] == doorsHeader) return s;
    throw std::logic_error("no such sample");
}

inline Snapshot SnapOf(uint32_t id, const std::vector<uint8_t>& list, const std::array<std::vector<uint8_t>, 8>& blocks)
{
    Snapshot s;
    EXPECT_TRUE(MakeSnapshot(s, list, std::vector<std::vector<uint8_t>>(blocks.begin(), blocks.end())));
    s.controllerId = id;
    s.ip = 0xC0A80116u;
    s.status = 2;
    s.taken = "2024-05-17T08:00:00Z";
    s.program = "olmctl 1.3.3";
    return s;
}

inline Snapshot SnapOf(const SampleController& c) { return SnapOf(c.id, c.deviceList, c.blocks); }

// The device records of a device list block, to rebuild it reordered or changed.
inline std::vector<DevSpec> DevicesOf(const std::vector<uint8_t>& list)
{
    std::vector<DevSpec> devices;
    for (std::size_t i = 0; i < GetU16(list.data()); ++i) {
        const uint8_t* r = &list[kListHeader + kListRecord * i];
        devices.push_back({GetU32(r), r[4], r[5], r[6], r[7], r[8], r[9]});
    }
    return devices;
}

inline std::size_t SlotNamed(const std::vector<DevSpec>& devices, uint32_t id)
{
    return static_cast<std::size_t>(std::find_if(devices.begin(), devices.end(), [id](const DevSpec& d) { return d.id == id; }) -
                                    devices.begin());
}

// A controller with empty doors on a bus of the given devices.
inline Snapshot EmptyController(uint32_t id, const std::vector<DevSpec>& devices, uint8_t doors, uint8_t kind = 1)
{
    std::array<std::vector<uint8_t>, 8> blocks;
    for (int i = 0; i < doors; ++i) blocks[static_cast<std::size_t>(i)] = kind == 2 ? EmptyLiftBlock() : EmptyDoorBlock();
    return SnapOf(id, DeviceListBlock(kind, doors, devices), blocks);
}
