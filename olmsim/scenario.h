#pragma once
#include <string>
#include <vector>

#include "sim/peer.h"
#include "sim/samples.h"

// A scenario file describes the controllers that olmsim serves instead of the sample set. JSON:
//
// {
//   "controllers": [
//     {
//       "type": 305, "serial": 1201, "suffix": 0,  // the identifier (or "id": number or "0x..." text)
//       "ip": "192.168.1.21",                     // optional; used only on the simulated LAN
//       "status": 3,                              // status byte: mode index in bits 0-1 (default 2)
//       "kind": 1, "doors": 4,                    // 1 doors (1-8), 2 lift (1); default 1 and 1
//       "devices": [                              // the device list in slot order; default: the
//                                                 // controller alone
//         {"type": 305, "serial": 1201, "outputs": 4, "oc": 8, "inputs": 8, "readers": 2},
//         {"type": 7, "serial": 311, "status": 128, "info": 1, "outputs": 1, "inputs": 2, "readers": 1},
//         {"type": 705, "serial": 31, "sets": 3, "inputs": 4},
//         {"absent": true}
//       ],
//       "blocks": [                               // door or lift blocks; missing ones are empty
//         {"index": 0, "name": "Wejście",         // UTF-8, stored as cp1250 (at most 15 bytes)
//          "slots": {"0": "0x0000", "7": 0, "16": 256},   // resource slot 0-19: identifier
//          "doorType": 1, "flags": 0, "pulse": 10, "openTime": 30, "exitReaders": [1]}
//       ],
//       "faults": {"lateMs": 0, "dropReplies": 0, "silent": false, ...}   // PeerFaults by name
//     }
//   ]
// }
//
// Numbers may be written as JSON numbers or as text ("0x0100"). A file that does not follow the
// format is refused with a message that names what is wrong.
struct ScenarioController {
    SampleController sample;
    PeerFaults faults;
};

// Throws std::runtime_error on malformed JSON or content.
std::vector<ScenarioController> ParseScenario(const std::string& json);
