#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

class ControllerPeer;
class SimLan;

// A controller (or other device) of the built-in sample set, as olmsim and the demo serve it.
struct SampleController {
    uint32_t ip = 0;
    uint32_t id = 0;
    uint8_t status = 0;
    std::vector<uint8_t> deviceList;
    std::array<std::vector<uint8_t>, 8> blocks;
};

// A 4-door controller in "Instalacja", an 8-door controller in "Serwis" with an inactive reader and
// a new reader of the same type, a lift controller in "Serwis", a controller in "Blokada" and a
// terminal, in the order in which a search lists them (the terminal first, by its type code).
std::vector<SampleController> SampleControllers();
// Hosts a controller of the sample set (or of a scenario) on the simulated LAN.
ControllerPeer& AddSampleController(SimLan& lan, const SampleController& sample);
// Hosts the sample set on the simulated LAN.
void AddSampleControllers(SimLan& lan);
