#pragma once
#include <array>
#include <string>
#include <vector>

#include "snapshot/snapshot.h"

// --map OLD=NEW: a device of the snapshot (by device name) onto another device of the target's
// bus with the same type code, for a replaced reader or module.
struct DeviceMap {
    std::string from;
    std::string to;
};

// The snapshot's records made ready for a target controller: every resource identifier points at
// the same device (by identifier, or as --map says) in the target's own device list. Nothing
// else of a record changes.
struct RestorePlan {
    std::vector<std::string> problems;   // one line each, Polish, UTF-8; any of them refuses all
    std::vector<int> indexes;            // the records to restore (door index 0-7; the lift 0)
    std::vector<std::string> skipped;    // doors left out because the snapshot does not hold them
    std::array<RecordBytes, kMaxDoors> records{};   // the mapped records, for the indexes above
};

// Maps `snap` onto the bus of `target` (the target's current snapshot). `doors` lists door numbers
// from 1; empty means every door the snapshot holds. Rules: the same kind, enough doors on the
// target, the same controller type code; every device that a restored record uses must be found
// on the target (the snapshot's controller is the target controller); a resource number that the
// mapped device does not have is a problem, and so is one target resource that two different
// resources of the snapshot would become.
RestorePlan MapSnapshot(const Snapshot& snap, const Snapshot& target, const std::vector<DeviceMap>& maps,
                        const std::vector<int>& doors);
