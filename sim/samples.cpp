#include "sim/samples.h"

#include <initializer_list>
#include <string_view>
#include <utility>

#include "sim/blocks.h"
#include "sim/simlan.h"

namespace {

// One door or lift block: resource slots given as (slot, identifier) pairs, the rest 0xFFFF.
struct BlockSpec {
    std::string_view name;                              // cp1250
    std::initializer_list<std::pair<int, uint16_t>> slots;
    uint8_t type = 1;                                   // door type (doors only)
    uint8_t flags = 0;                                  // parameter byte 2: airlock, handle, pulse
    uint8_t pulse = 0;                                  // parameter byte 4, half seconds
    uint8_t openTime = 0;                               // parameter byte 6, half seconds
    uint8_t exitReaders = 0;                            // bit r: reader slot r is an exit reader
};

std::vector<uint8_t> Block(uint8_t kind, const BlockSpec& cfg)
{
    std::vector<uint8_t> block = kind == 2 ? EmptyLiftBlock() : EmptyDoorBlock();
    for (const auto& [slot, res] : cfg.slots) SetBlockSlot(block, slot, res);
    uint8_t* param = &block[kParamOffset];
    if (kind == 1) param[0] = cfg.type;
    param[2] = cfg.flags;
    param[4] = cfg.pulse;
    param[6] = cfg.openTime;
    for (int r = 0; r < 4; ++r)
        if (cfg.exitReaders & (1 << r)) param[32 + 4 * r] = 1;
    SetBlockName(block, cfg.name);
    return block;
}

// Slots of a door block.
constexpr int Out(int n) { return n; }
constexpr int In(int n) { return 6 + n; }
constexpr int Rd(int n) { return 16 + n; }
// Slots of the lift block.
constexpr int Set(int n) { return n; }
constexpr int LiftIn(int n) { return 8 + n; }

constexpr uint16_t Res(int device, int number, bool nc = false)
{
    return static_cast<uint16_t>((device << 8) | (nc ? 0x80 : 0) | number);
}

// Device templates: a controller with relay and open-collector outputs, a reader with one relay
// and two inputs, a lock, an input/output module, a module with lift output sets, a keypad.
DevSpec Controller(uint32_t id, uint8_t inputs) { return {id, 1, 0, 4, 8, inputs, 2}; }
DevSpec Reader(uint32_t serial, uint8_t status = 0) { return {MakeId(7, serial), 1, status, 1, 0, 2, 1}; }
DevSpec Lock(uint32_t serial) { return {MakeId(203, serial), 1, 0, 1, 0, 2, 0}; }
DevSpec Module(uint32_t serial) { return {MakeId(702, serial), 2, 0, 8, 0, 8, 0}; }
DevSpec SetModule(uint32_t serial, uint8_t sets) { return {MakeId(705, serial), 1, 0, uint8_t(0x80 | sets), 0, 4, 0}; }
DevSpec Keypad(uint32_t serial, uint8_t status) { return {MakeId(512, serial), 1, status, 0, 0, 1, 1}; }

constexpr uint8_t kInactive = 0x80;
constexpr uint8_t kNew = 0x10;
constexpr uint8_t kAirlock0 = 0x04;
constexpr uint8_t kHandle = 0x40;

SampleController FourDoors()
{
    SampleController c{0xC0A80115u /* 192.168.1.21 */, MakeId(305, 1201), 3, {}, {}};
    c.deviceList = DeviceListBlock(1, 4, {Controller(c.id, 8), Reader(311), Reader(312), Reader(313), Lock(45),
                                          Module(20)});
    c.blocks[0] = Block(1, {"Wej\x9C" "cie g\xB3\xF3wne",   // "Wejście główne"
                            {{Out(0), Res(0, 0)}, {Out(2), Res(0, 3)}, {In(0), Res(0, 2)}, {In(1), Res(0, 0)},
                             {Rd(0), Res(1, 0)}, {Rd(1), Res(2, 0)}},
                            1, 0, 10, 30, 0b0010});
    c.blocks[1] = Block(1, {"Magazyn",
                            {{Out(0), Res(4, 0)}, {In(0), Res(4, 1, true)}, {In(1), Res(4, 0)}, {Rd(0), Res(3, 0)}},
                            1, 0, 6, 20, 0});
    c.blocks[2] = Block(1, {"Biuro",
                            {{Out(0), Res(0, 1, true)}, {In(1), Res(0, 4)}, {In(8), Res(5, 0)}, {In(9), Res(5, 1)}},
                            2, 0, 4, 60, 0});
    c.blocks[3] = EmptyDoorBlock();
    return c;
}

SampleController EightDoors()
{
    SampleController c{0xC0A80116u /* 192.168.1.22 */, MakeId(305, 1502), 2, {}, {}};
    c.deviceList = DeviceListBlock(1, 8, {Controller(c.id, 16), Reader(401), Reader(402), Reader(403), Reader(404),
                                          Reader(405, kInactive), Module(31), Lock(77), Reader(420, kNew),
                                          Keypad(66, kNew)});
    c.blocks[0] = Block(1, {"Recepcja",
                            {{Out(0), Res(0, 0)}, {In(0), Res(0, 1)}, {In(1), Res(0, 0)}, {Rd(0), Res(1, 0)},
                             {Rd(1), Res(5, 0)}},
                            1, 0, 10, 30, 0b0010});
    c.blocks[1] = Block(1, {"Serwerownia",
                            {{Out(0), Res(0, 1)}, {Out(2), Res(0, 5, true)}, {In(1), Res(0, 2)}, {Rd(0), Res(2, 0)}},
                            1, kAirlock0, 6, 20, 0});
    c.blocks[2] = Block(1, {"\xA3\xB9" "cznik",   // "Łącznik"
                            {{Out(0), Res(7, 0)}, {In(1), Res(7, 0)}, {Rd(0), Res(3, 0)}},
                            1, kAirlock0 | kHandle, 6, 20, 0});
    c.blocks[3] = Block(1, {"Ksi\xEAgowo\x9C\xE6",   // "Księgowość"
                            {{Out(0), Res(6, 0)}, {In(1), Res(6, 0)}, {In(5), Res(6, 7)}, {Rd(0), Res(4, 0)}},
                            3, 0, 8, 40, 0});
    c.blocks[4] = Block(1, {"Magazyn 2", {{Out(0), Res(6, 1)}}, 4, 0, 0, 0, 0});
    for (std::size_t i = 5; i < 8; ++i) c.blocks[i] = EmptyDoorBlock();
    return c;
}

SampleController Lift()
{
    SampleController c{0xC0A80117u /* 192.168.1.23 */, MakeId(310, 77), 2, {}, {}};
    c.deviceList = DeviceListBlock(2, 1, {{c.id, 1, 0, 4, 0, 8, 2}, SetModule(31, 3), SetModule(32, 2),
                                          Reader(501)});
    // Input slot 0 is not shown on the lift page, but the controller keeps and reports it.
    c.blocks[0] = Block(2, {"Winda A",
                            {{Set(0), Res(1, 0)}, {Set(1), Res(1, 1)}, {Set(2), Res(1, 2)}, {Set(3), Res(2, 0)},
                             {LiftIn(0), Res(0, 0)}, {LiftIn(3), Res(0, 3)}, {LiftIn(6), Res(1, 0, true)},
                             {Rd(0), Res(3, 0)}, {Rd(1), Res(0, 1)}},
                            0, 0, 6, 0, 0});
    return c;
}

SampleController Locked()
{
    SampleController c{0xC0A80118u /* 192.168.1.24 */, MakeId(305, 1800), 0, {}, {}};
    c.deviceList = DeviceListBlock(1, 2, {Controller(c.id, 8), Reader(601), Reader(602)});
    c.blocks[0] = Block(1, {"Brama", {{Out(0), Res(0, 0)}, {In(1), Res(0, 0)}, {Rd(0), Res(1, 0)}}, 1, 0, 10, 30, 0});
    c.blocks[1] = Block(1, {"Furtka", {{Out(0), Res(0, 1)}, {Rd(0), Res(2, 0)}}, 1, 0, 10, 30, 0});
    return c;
}

// A terminal answers the search like a controller but has no bus of its own.
SampleController Terminal() { return {0xC0A8011Eu /* 192.168.1.30 */, MakeId(112, 900), 2, {}, {}}; }

} // namespace

std::vector<SampleController> SampleControllers()
{
    return {Terminal(), FourDoors(), EightDoors(), Locked(), Lift()};
}

ControllerPeer& AddSampleController(SimLan& lan, const SampleController& sample)
{
    ControllerPeer& peer = lan.AddPeer(sample.ip, sample.id, sample.status);
    peer.deviceList = sample.deviceList;
    peer.blocks = sample.blocks;
    return peer;
}

void AddSampleControllers(SimLan& lan)
{
    for (const SampleController& sample : SampleControllers()) AddSampleController(lan, sample);
}
