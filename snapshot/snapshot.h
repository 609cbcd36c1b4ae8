#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model/ctrlcfg.h"

// A controller's configuration kept in a file: its device list block and its door records (or
// lift record) exactly as the controller sent them, with a decoded view beside them for people
// and for comparisons. The raw bytes are what a restore writes; the decoded view is checked
// against them when a file is read and never used for writing.

constexpr const char* kSnapshotFormat = "olm-snapshot";
constexpr int kSnapshotVersion = 1;

// One door record, or the lift record, as read: the block without its 8-byte header.
struct SnapRecord {
    bool read = false;   // false: the controller sent no valid block for it; bytes mean nothing
    RecordBytes bytes{};

    bool operator==(const SnapRecord&) const = default;
};

struct Snapshot {
    std::string taken;      // when, UTC: "2024-05-17T08:00:00Z"
    std::string program;    // by which program: "olmctl 1.3.3"
    uint32_t controllerId = 0;
    uint32_t ip = 0;        // first octet most significant
    uint8_t status = 0;     // the controller's status byte at the time
    // The device list block as the controller sent it; kind and doorCount are what it says.
    std::vector<uint8_t> deviceList;
    int kind = 0;           // 1 doors, 2 lift
    int doorCount = 0;      // 1-8 doors, 1 for the lift
    std::array<SnapRecord, kMaxDoors> records{};   // doors 0 to doorCount-1; the lift in 0

    bool operator==(const Snapshot&) const = default;
};

// The inventory that the snapshot's device list describes (no assignment marked). False when the
// list is not a valid device list block.
bool SnapshotDevices(const Snapshot& snap, BusDevSet& devs);

// A snapshot of a controller from the blocks it sent: the device list block (kind and door count
// are taken from it) and one block per door (the lift: one), each with its 8-byte header. A block
// with another header or too short counts as not read. False when the device list is invalid.
bool MakeSnapshot(Snapshot& snap, const std::vector<uint8_t>& deviceList,
                  const std::vector<std::vector<uint8_t>>& blocks);

// The snapshot file: JSON text, UTF-8, keys in English.
std::string EncodeSnapshot(const Snapshot& snap);

// Reads a snapshot file. On a refusal returns false with a one-line Polish message (UTF-8) that
// names what is wrong: not JSON, another format, a newer version, a missing or mistyped field, a
// record of the wrong length, decoded and raw parts that disagree.
bool DecodeSnapshot(const std::string& text, Snapshot& snap, std::string& problem);

// Bytes as lower-case hex without separators, as the file holds them.
std::string HexText(const uint8_t* data, std::size_t length);
