// The sample set: what it promises, and that its blocks are consistent with its device lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>

#include "link/devid.h"
#include "link/udpdev.h"
#include "sim/samples.h"
#include "tests/common/cp1250.h"
#include "peer_client.h"

namespace {

struct Record {
    uint32_t id;
    uint8_t status, outDesc, oc, in, rd;
};

std::vector<Record> Records(const std::vector<uint8_t>& list)
{
    std::vector<Record> records;
    const std::size_t count = GetU16(list.data());
    EXPECT_EQ(list.size(), kListHeader + count * kListRecord);
    for (std::size_t i = 0; i < count && kListHeader + (i + 1) * kListRecord <= list.size(); ++i) {
        const uint8_t* r = &list[kListHeader + i * kListRecord];
        records.push_back({GetU32(r), r[5], r[6], r[7], r[8], r[9]});
    }
    return records;
}

std::string Name(const std::vector<uint8_t>& block)
{
    return std::string(reinterpret_cast<const char*>(&block[kNameOffset]));
}

const SampleController* Find(const std::vector<SampleController>& set, uint8_t kind, uint8_t doors, int mode)
{
    for (const auto& s : set)
        if (s.deviceList.size() > 2 && s.deviceList[2] == ((kind << 4) | doors) && (s.status & 3) == mode) return &s;
    return nullptr;
}

TEST(Samples, TheSetHoldsWhatTheDemoPromises)
{
    const auto set = SampleControllers();
    ASSERT_EQ(set.size(), 5u);
    // Listed as a search lists them: ascending low 26 bits of the identifier, addresses distinct.
    for (std::size_t i = 1; i < set.size(); ++i) EXPECT_LT(SortKey(set[i - 1].id), SortKey(set[i].id));
    std::set<uint32_t> ips;
    for (const auto& s : set) ips.insert(s.ip);
    EXPECT_EQ(ips.size(), set.size());

    EXPECT_EQ(TypeCategory(set[0].id), 1u);   // the terminal
    EXPECT_TRUE(set[0].deviceList.empty());
    ASSERT_TRUE(Find(set, 1, 4, 3));           // 4 doors, "Instalacja"
    ASSERT_TRUE(Find(set, 1, 2, 0));           // "Blokada"
    const SampleController* lift = Find(set, 2, 1, 2);
    ASSERT_TRUE(lift);
    const auto liftDevices = Records(lift->deviceList);
    EXPECT_TRUE(std::any_of(liftDevices.begin(), liftDevices.end(), [](const Record& r) { return r.outDesc & 0x80; }));

    const SampleController* eight = Find(set, 1, 8, 2);
    ASSERT_TRUE(eight);
    const auto devices = Records(eight->deviceList);
    int pairs = 0;
    for (const auto& old : devices)
        for (const auto& fresh : devices)
            if ((old.status & 0x80) && (fresh.status & 0x10) && TypeCode(old.id) == TypeCode(fresh.id) &&
                TypeCategory(old.id) == 0)
                ++pairs;
    EXPECT_EQ(pairs, 1);   // one inactive reader, one new reader of its type

    // Named doors, one of them with Polish letters.
    std::set<std::string> names;
    for (const auto& s : set)
        for (const auto& b : s.blocks)
            if (b.size() == kBlockLength && b[kNameOffset]) names.insert(Name(b));
    EXPECT_TRUE(names.count(Cp1250("Wejście główne")));
    EXPECT_TRUE(names.count(Cp1250("Księgowość")));
}

TEST(Samples, BlocksUseOnlyResourcesTheDevicesHave)
{
    for (const auto& s : SampleControllers()) {
        if (s.deviceList.empty()) continue;
        SCOPED_TRACE(DevName(s.id));
        const auto devices = Records(s.deviceList);
        ASSERT_FALSE(devices.empty());
        EXPECT_EQ(devices[0].id, s.id);   // the controller reports itself first
        const uint8_t kind = s.deviceList[2] >> 4;
        const int doors = s.deviceList[2] & 0x0F;
        std::set<std::tuple<int, int, int>> used;   // (kind of resource, device, number)
        for (int d = 0; d < doors; ++d) {
            const auto& block = s.blocks[static_cast<std::size_t>(d)];
            ASSERT_EQ(block.size(), kBlockLength) << d;
            const std::vector<uint8_t> signature = kind == 2 ? std::vector<uint8_t>{2, 0x88, 8, 4}
                                                             : std::vector<uint8_t>{1, 6, 10, 4};
            EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + 4), signature);
            for (int slot = 0; slot < kResourceSlots; ++slot) {
                const uint16_t res = BlockSlot(block, slot);
                if (res == kNoResource) continue;
                const std::size_t dev = res >> 8;
                const int number = res & 0x1F;
                const bool nc = res & 0x80;
                ASSERT_LT(dev, devices.size()) << "door " << d << " slot " << slot;
                const Record& r = devices[dev];
                const int outputs = r.oc ? r.oc & 0x1F : r.outDesc & 0x1F;
                int resKind;
                if (slot >= 16) {
                    resKind = 2;
                    EXPECT_LT(number, r.rd & 3);
                    EXPECT_FALSE(nc);
                } else if (kind == 2 && slot < 8) {
                    resKind = 3;
                    ASSERT_TRUE(r.outDesc & 0x80);
                    EXPECT_LT(number, r.outDesc & 3);
                    EXPECT_FALSE(nc);
                } else if (kind == 1 && slot < 6) {
                    resKind = 0;
                    EXPECT_FALSE(r.outDesc & 0x80);
                    EXPECT_LT(number, outputs);
                    EXPECT_TRUE(!nc || r.oc) << "NC only on open-collector outputs";
                } else {
                    resKind = 1;
                    EXPECT_LT(number, r.in & 0x1F);
                }
                EXPECT_TRUE(used.insert({resKind, static_cast<int>(dev), number}).second)
                    << "door " << d << " slot " << slot << " reuses a resource";
            }
            // The door sensor sits on the lock's device.
            if (kind == 1 && BlockSlot(block, 0) != kNoResource && BlockSlot(block, 7) != kNoResource) {
                EXPECT_EQ(BlockSlot(block, 0) >> 8, BlockSlot(block, 7) >> 8) << d;
            }
            EXPECT_EQ(block[kBlockLength - 1], 0);   // names are NUL-terminated
        }
    }
}

// The sample set spoken to by the link itself, as the demo and olmsim do.
TEST(Samples, LinkFindsReadsAndWritesTheSampleSet)
{
    SimLan lan;
    AddSampleControllers(lan);
    const auto set = SampleControllers();
    ASSERT_EQ(lan.PeerCount(), set.size());
    SetEndpoint(&lan);
    {
        UdpDevSet devs;
        devs.Search();
        ASSERT_EQ(devs.count, static_cast<int>(set.size()));
        for (int i = 0; i < devs.count; ++i) {
            EXPECT_EQ(devs[i].id, set[static_cast<std::size_t>(i)].id);
            EXPECT_EQ(devs[i].ip, set[static_cast<std::size_t>(i)].ip);
        }
        const SampleController* eight = Find(set, 1, 8, 2);
        ASSERT_TRUE(eight);
        UdpDev& dev = devs[static_cast<int>(eight - set.data())];
        Block block{};
        ASSERT_EQ(dev.ReadDevices(block), eight->deviceList.size());
        EXPECT_TRUE(std::equal(eight->deviceList.begin(), eight->deviceList.end(), block.begin()));
        ASSERT_EQ(dev.ReadBlock(1, 2, block), kBlockLength);
        EXPECT_TRUE(std::equal(eight->blocks[2].begin(), eight->blocks[2].end(), block.begin()));

        std::vector<uint8_t> record(eight->blocks[2].begin() + 8, eight->blocks[2].end());
        record[0] = 0x01;   // the lock moves to output 2 of the same device
        dev.WriteBlock(1, 2, record.size(), record.data());
        ASSERT_EQ(dev.ReadBlock(1, 2, block), kBlockLength);
        EXPECT_TRUE(std::equal(record.begin(), record.end(), block.begin() + 8));
    }
    EXPECT_FALSE(lan.Peer(Find(set, 1, 8, 2)->id)->HasSession(lan.NowMs()));   // closed with the set
    SetEndpoint(nullptr);
}

} // namespace
