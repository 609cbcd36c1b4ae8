// olmsim's scenario files: what a file describes, and the files it refuses.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "link/frame.h"
#include "olmsim/scenario.h"
#include "sim/blocks.h"
#include "tests/common/cp1250.h"

namespace {

TEST(Scenario, DescribesControllersDevicesBlocksAndFaults)
{
    const auto controllers = ParseScenario(R"({
      "controllers": [
        {"type": 305, "serial": 1201, "suffix": 1, "ip": "10.0.0.7", "status": 3, "kind": 1, "doors": 2,
         "devices": [
           {"type": 305, "serial": 1201, "outputs": 4, "oc": 8, "inputs": 8, "readers": 2},
           {"type": 7, "serial": 311, "status": "0x80", "info": 3, "outputs": 1, "inputs": 2, "readers": 1},
           {"type": 705, "serial": 31, "sets": 3, "inputs": 4},
           {"absent": true}
         ],
         "blocks": [
           {"index": 1, "name": "Wejście główne", "slots": {"0": "0x0001", "16": 256},
            "doorType": 2, "flags": 68, "pulse": 10, "openTime": 30, "exitReaders": [3]}
         ],
         "faults": {"lateMs": 450, "silent": true, "keyLength": 15}},
        {"id": "0x32060042", "kind": 2}
      ]})");
    ASSERT_EQ(controllers.size(), 2u);
    const SampleController& c = controllers[0].sample;
    EXPECT_EQ(c.id, MakeId(305, 1201, 1));
    EXPECT_EQ(c.ip, 0x0A000007u);
    EXPECT_EQ(c.status, 3);
    EXPECT_EQ(c.deviceList, DeviceListBlock(1, 2, {{MakeId(305, 1201), 1, 0, 4, 8, 8, 2},
                                                   {MakeId(7, 311), 3, 0x80, 1, 0, 2, 1},
                                                   {MakeId(705, 31), 1, 0, 0x83, 0, 4, 0},
                                                   {kAbsentId, 0, 0, 0, 0, 0, 0}}));
    EXPECT_EQ(c.blocks[0], EmptyDoorBlock());   // not described: empty
    std::vector<uint8_t> door = EmptyDoorBlock();
    SetBlockSlot(door, 0, 0x0001);
    SetBlockSlot(door, 16, 0x0100);
    door[kParamOffset + 0] = 2;
    door[kParamOffset + 2] = 68;
    door[kParamOffset + 4] = 10;
    door[kParamOffset + 6] = 30;
    door[kParamOffset + 44] = 1;
    SetBlockName(door, Cp1250("Wejście główne"));
    EXPECT_EQ(c.blocks[1], door);
    EXPECT_TRUE(c.blocks[2].empty());
    EXPECT_TRUE(controllers[0].faults.silent);
    EXPECT_EQ(controllers[0].faults.lateMs, 450);
    EXPECT_EQ(controllers[0].faults.keyLength, 15);
    EXPECT_EQ(controllers[0].faults.dropReplies, 0);

    // The defaults: mode 2, the controller alone on its bus, one empty lift block.
    const SampleController& lift = controllers[1].sample;
    EXPECT_EQ(lift.id, 0x32060042u);
    EXPECT_EQ(lift.status, 2);
    EXPECT_EQ(lift.deviceList, DeviceListBlock(2, 1, {{0x32060042u, 1, 0, 4, 8, 8, 2}}));
    EXPECT_EQ(lift.blocks[0], EmptyLiftBlock());
}

TEST(Scenario, RefusesFilesItCannotFollow)
{
    const struct {
        const char* json;
        const char* says;
    } cases[] = {
        {"{", "file"},
        {R"({"controllers": []})", "no controllers"},
        {R"({"devices": []})", "controllers"},
        {R"({"controllers": [{"serial": 1}]})", "\"type\" and \"serial\""},
        {R"({"controllers": [{"type": 1024, "serial": 1}]})", "controllers[0].type"},
        {R"({"controllers": [{"type": 305, "serial": "12x"}]})", "not a number: 12x"},
        {R"({"controllers": [{"type": 305, "serial": 1, "kind": 1, "doors": 9}]})", "doors"},
        {R"({"controllers": [{"type": 305, "serial": 1, "kind": 2, "doors": 2}]})", "doors"},
        {R"({"controllers": [{"type": 305, "serial": 1, "ip": "10.0.0"}]})", "ip"},
        {R"({"controllers": [{"type": 305, "serial": 1, "blocks": [{"index": 8}]}]})", "blocks[0].index"},
        {R"({"controllers": [{"type": 305, "serial": 1, "blocks": [{"slots": {"20": 1}}]}]})", "slots"},
        {R"({"controllers": [{"type": 305, "serial": 1, "blocks": [{"name": "Sześćdziesiąt dwa"}]}]})",
         "longer than 15"},
        {R"({"controllers": [{"type": 305, "serial": 1, "blocks": [{"name": "日本"}]}]})", "cp1250"},
        {R"({"controllers": [{"type": 305, "serial": 1, "faults": {"slow": 1}}]})", "no such fault: slow"},
        {R"({"controllers": [{"type": 305, "serial": 1, "faults": {"silent": 1}}]})", "true or false"},
        {R"({"controllers": [{"type": 305, "serial": 1, "devices": [{"absent": 1}]}]})", "controllers[0]"},
    };
    for (const auto& c : cases) {
        try {
            ParseScenario(c.json);
            ADD_FAILURE() << "accepted: " << c.json;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.json << "\n -> " << e.what();
        }
    }
}

} // namespace
