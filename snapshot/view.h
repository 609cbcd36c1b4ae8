#pragma once
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "model/ctrlcfg.h"
#include "snapshot/snapshot.h"

using Json = nlohmann::ordered_json;

// How a resource of the controller itself is named: by the controller's device name, or as
// "kontroler" whatever its identifier, so that a configuration compares with the same
// configuration on a replacement controller.
enum class OwnNames { DeviceName, AsController };

// The text of a resource identifier in device-name terms: "K105_01502:Out1 NC", "D105_00031:Set2",
// "kontroler:In3", "---" for none. A device index that names no device on the bus reads "?12".
// Bits that the program does not interpret are shown as " [0x60]".
std::string ResourceText(ResId id, ResKind kind, const BusDevSet& devs, uint32_t controllerId, OwnNames names);

// "0x5A".
std::string HexByte(unsigned value);

// One function or setting of a door or of the lift.
struct Field {
    std::string key;     // English, for JSON
    std::string label;   // Polish, UTF-8
    std::string text;    // the value as people read it, UTF-8
    Json value;          // the value for machines (null for an unassigned function)
};

// Every function (in device-name terms) and setting of a door record (kind 1) or of the lift
// record (kind 2), in the order in which they are shown.
std::vector<Field> RecordFields(int kind, const RecordBytes& record, const BusDevSet& devs, uint32_t controllerId,
                                OwnNames names);
// The fields as one JSON object, key: value.
Json FieldsJson(const std::vector<Field>& fields);

// The bits of a record that no field interprets (1 bits), so that comparisons see every byte.
RecordBytes UninterpretedBits(int kind, const RecordBytes& record);

// The present devices in display order, as the bus device panel shows them (UTF-8).
std::vector<std::string> DeviceLines(const BusDevSet& devs);
// Every slot of the device list as JSON (absent slots too).
Json DevicesJson(const BusDevSet& devs);

// "Przejście 2", or "Winda" for the lift.
std::string RecordPlace(int kind, int index);

// The controller of a snapshot as JSON: name, id, ip, status, mode.
Json ControllerJson(const Snapshot& snap);
// One door (or the lift) of a snapshot as JSON: its number (doors only), whether it was read and,
// when it was, its decoded fields, with the raw record beside them for the file.
enum class RawRecord { With, Without };
Json RecordJson(const Snapshot& snap, const BusDevSet& devs, int index, RawRecord raw);

// What `show` prints: the controller, the bus device panel's lines, then each door (or the lift)
// with every function and setting. UTF-8 text.
std::string ShowText(const Snapshot& snap);
// The same as JSON: the snapshot's decoded parts without the raw bytes.
Json ShowJson(const Snapshot& snap);
