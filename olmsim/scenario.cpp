#include "olmsim/scenario.h"

#include <iconv.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "link/frame.h"
#include "sim/blocks.h"

using nlohmann::json;

namespace {

[[noreturn]] void Refuse(const std::string& where, const std::string& what)
{
    throw std::runtime_error("scenario: " + where + ": " + what);
}

// A number written as a JSON number or as text in any C base ("0x31", "49").
uint64_t Number(const json& v, const std::string& where, uint64_t max)
{
    uint64_t n = 0;
    if (v.is_number_unsigned()) {
        n = v.get<uint64_t>();
    } else if (v.is_string()) {
        const std::string text = v.get<std::string>();
        std::size_t used = 0;
        try {
            n = std::stoull(text, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != text.size()) Refuse(where, "not a number: " + text);
    } else {
        Refuse(where, "a number is needed");
    }
    if (n > max) Refuse(where, std::to_string(n) + " is larger than " + std::to_string(max));
    return n;
}

uint64_t Field(const json& obj, const char* key, const std::string& where, uint64_t max, uint64_t fallback)
{
    const auto it = obj.find(key);
    return it == obj.end() ? fallback : Number(*it, where + "." + key, max);
}

template <typename T>
T Small(const json& obj, const char* key, const std::string& where, uint64_t max, uint64_t fallback = 0)
{
    return static_cast<T>(Field(obj, key, where, max, fallback));
}

std::string ToCp1250(const std::string& utf8, const std::string& where)
{
    iconv_t cd = iconv_open("CP1250", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) Refuse(where, "no cp1250 converter");
    std::string in = utf8;
    std::string out(in.size() + 4, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t srcLeft = in.size();
    std::size_t dstLeft = out.size();
    const std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1)) Refuse(where, "text not representable in cp1250: " + utf8);
    out.resize(out.size() - dstLeft);
    return out;
}

uint32_t Identifier(const json& obj, const std::string& where)
{
    if (obj.contains("id")) return static_cast<uint32_t>(Number(obj["id"], where + ".id", 0xFFFFFFFFu));
    if (!obj.contains("type") || !obj.contains("serial")) Refuse(where, "needs \"id\" or \"type\" and \"serial\"");
    return MakeId(Small<uint32_t>(obj, "type", where, 1023), Small<uint32_t>(obj, "serial", where, 65535),
                  Small<uint32_t>(obj, "suffix", where, 3));
}

uint32_t Address(const json& obj, const std::string& where)
{
    if (!obj.contains("ip")) return 0;
    const std::string text = obj["ip"].is_string() ? obj["ip"].get<std::string>() : std::string();
    unsigned a = 0, b = 0, c = 0, d = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) != 4 || a > 255 || b > 255 || c > 255 ||
        d > 255)
        Refuse(where + ".ip", "not a dotted IPv4 address: " + text);
    return (a << 24) | (b << 16) | (c << 8) | d;
}

DevSpec Device(const json& obj, const std::string& where)
{
    if (!obj.is_object()) Refuse(where, "a device must be an object");
    if (obj.value("absent", false)) return DevSpec{kAbsentId, 0, 0, 0, 0, 0, 0};
    DevSpec d;
    d.id = Identifier(obj, where);
    d.info = Small<uint8_t>(obj, "info", where, 255, 1);
    d.status = Small<uint8_t>(obj, "status", where, 255);
    if (obj.contains("sets")) {
        d.outDesc = static_cast<uint8_t>(0x80 | Small<uint8_t>(obj, "sets", where, 3));
    } else {
        d.outDesc = Small<uint8_t>(obj, "outputs", where, 31);
    }
    d.ocCount = Small<uint8_t>(obj, "oc", where, 31);
    d.inCount = Small<uint8_t>(obj, "inputs", where, 31);
    d.rdCount = Small<uint8_t>(obj, "readers", where, 3);
    return d;
}

std::vector<uint8_t> BlockOf(const json& obj, uint8_t kind, const std::string& where)
{
    std::vector<uint8_t> block = kind == 2 ? EmptyLiftBlock() : EmptyDoorBlock();
    if (const auto slots = obj.find("slots"); slots != obj.end()) {
        if (!slots->is_object()) Refuse(where + ".slots", "an object of slot numbers is needed");
        for (const auto& [key, value] : slots->items()) {
            const auto slot = static_cast<int>(Number(json(key), where + ".slots", kResourceSlots - 1));
            SetBlockSlot(block, slot, static_cast<uint16_t>(Number(value, where + ".slots." + key, 0xFFFF)));
        }
    }
    uint8_t* param = &block[kParamOffset];
    if (kind == 1) param[0] = Small<uint8_t>(obj, "doorType", where, 15, 1);
    param[2] = Small<uint8_t>(obj, "flags", where, 255);
    param[4] = Small<uint8_t>(obj, "pulse", where, 127);
    param[6] = Small<uint8_t>(obj, "openTime", where, 127);
    if (const auto exits = obj.find("exitReaders"); exits != obj.end()) {
        if (!exits->is_array()) Refuse(where + ".exitReaders", "a list of reader slots is needed");
        for (const json& r : *exits) param[32 + 4 * Number(r, where + ".exitReaders", 3)] |= 1;
    }
    if (obj.contains("name")) {
        if (!obj["name"].is_string()) Refuse(where + ".name", "text is needed");
        const std::string name = ToCp1250(obj["name"].get<std::string>(), where + ".name");
        if (name.size() > 15) Refuse(where + ".name", "longer than 15 characters");
        SetBlockName(block, name);
    }
    return block;
}

PeerFaults Faults(const json& obj, const std::string& where)
{
    PeerFaults f;
    if (!obj.is_object()) Refuse(where, "an object is needed");
    struct Flag {
        const char* name;
        bool PeerFaults::*field;
    };
    struct Count {
        const char* name;
        int PeerFaults::*field;
    };
    static constexpr Flag kFlags[] = {{"silent", &PeerFaults::silent},
                                      {"duplicate", &PeerFaults::duplicate},
                                      {"foreignSession", &PeerFaults::foreignSession},
                                      {"statusNotOne", &PeerFaults::statusNotOne}};
    static constexpr Count kCounts[] = {{"dropReplies", &PeerFaults::dropReplies}, {"badCrc", &PeerFaults::badCrc},
                                        {"badCode", &PeerFaults::badCode},         {"wrongLetter", &PeerFaults::wrongLetter},
                                        {"foreignId", &PeerFaults::foreignId},     {"lateMs", &PeerFaults::lateMs},
                                        {"keyLength", &PeerFaults::keyLength},     {"noAckBlock", &PeerFaults::noAckBlock},
                                        {"extraPayload", &PeerFaults::extraPayload}};
    for (const auto& [key, value] : obj.items()) {
        bool known = false;
        for (const Flag& flag : kFlags) {
            if (key != flag.name) continue;
            if (!value.is_boolean()) Refuse(where + "." + key, "true or false is needed");
            f.*flag.field = value.get<bool>();
            known = true;
        }
        for (const Count& count : kCounts) {
            if (key != count.name) continue;
            f.*count.field = static_cast<int>(Number(value, where + "." + key, 100000));
            known = true;
        }
        if (!known) Refuse(where, "no such fault: " + key);
    }
    return f;
}

ScenarioController Controller(const json& obj, const std::string& where)
{
    if (!obj.is_object()) Refuse(where, "a controller must be an object");
    ScenarioController c;
    SampleController& s = c.sample;
    s.id = Identifier(obj, where);
    s.ip = Address(obj, where);
    s.status = Small<uint8_t>(obj, "status", where, 255, 2);
    const auto kind = Small<uint8_t>(obj, "kind", where, 2, 1);
    const auto doors = Small<uint8_t>(obj, "doors", where, kind == 2 ? 1 : 8, 1);
    if (kind == 0 || doors == 0) Refuse(where, "kind 1 (doors 1-8) or kind 2 (doors 1) is needed");

    std::vector<DevSpec> devices;
    if (const auto list = obj.find("devices"); list != obj.end()) {
        if (!list->is_array() || list->size() > 108) Refuse(where + ".devices", "a list of at most 108 devices is needed");
        for (std::size_t i = 0; i < list->size(); ++i)
            devices.push_back(Device((*list)[i], where + ".devices[" + std::to_string(i) + "]"));
    } else {
        devices.push_back(DevSpec{s.id, 1, 0, 4, 8, 8, 2});
    }
    s.deviceList = DeviceListBlock(kind, doors, devices);

    for (uint8_t i = 0; i < doors; ++i) s.blocks[i] = kind == 2 ? EmptyLiftBlock() : EmptyDoorBlock();
    if (const auto blocks = obj.find("blocks"); blocks != obj.end()) {
        if (!blocks->is_array()) Refuse(where + ".blocks", "a list is needed");
        for (std::size_t i = 0; i < blocks->size(); ++i) {
            const std::string at = where + ".blocks[" + std::to_string(i) + "]";
            const json& b = (*blocks)[i];
            if (!b.is_object()) Refuse(at, "a block must be an object");
            const auto index = Small<std::size_t>(b, "index", at, 7, i);
            s.blocks[index] = BlockOf(b, kind, at);
        }
    }
    if (obj.contains("faults")) c.faults = Faults(obj["faults"], where + ".faults");
    return c;
}

} // namespace

std::vector<ScenarioController> ParseScenario(const std::string& text)
{
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error& e) {
        Refuse("file", e.what());
    }
    if (!doc.is_object() || !doc.contains("controllers") || !doc["controllers"].is_array())
        Refuse("file", "an object with a list \"controllers\" is needed");
    std::vector<ScenarioController> controllers;
    const json& list = doc["controllers"];
    try {
        for (std::size_t i = 0; i < list.size(); ++i)
            controllers.push_back(Controller(list[i], "controllers[" + std::to_string(i) + "]"));
    } catch (const json::exception& e) {
        // A value of the wrong JSON type where the checks above do not look themselves.
        Refuse("controllers[" + std::to_string(controllers.size()) + "]", e.what());
    }
    if (controllers.empty()) Refuse("file", "no controllers");
    return controllers;
}
