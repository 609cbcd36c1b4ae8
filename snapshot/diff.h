#pragma once
#include <string>
#include <vector>

#include "snapshot/snapshot.h"
#include "snapshot/view.h"

// One difference between two configurations, in device-name terms.
struct Difference {
    std::string place;   // "Przejście 2", "Winda", "Urządzenia", "Kontroler"
    int door = 0;        // door number from 1; 0 for the lift and the rest
    std::string key;     // English, for JSON
    std::string label;   // the function or setting, Polish
    std::string a;       // A's value as people read it
    std::string b;       // B's value
};

// Compares two configurations in device-name terms, not by slot: buses ordered differently
// compare equal, and each side's controller compares as "kontroler" whatever its identifier.
// Reports the kind and door count, the devices present on one side only, every function and
// setting of each door (or the lift), and every byte the program does not interpret. A record
// that was not read on either side is a difference of its own ("nie odczytano").
std::vector<Difference> Diff(const Snapshot& a, const Snapshot& b);

// The differences between two records of one kind, each on its own bus.
std::vector<Difference> DiffRecords(int kind, int index, const RecordBytes& a, const BusDevSet& devsA,
                                    uint32_t controllerA, const RecordBytes& b, const BusDevSet& devsB,
                                    uint32_t controllerB);

// One line per difference, in aligned columns: place, function, A's value, B's value.
std::string DiffText(const std::vector<Difference>& differences, const std::string& indent = "");
Json DiffJson(const std::vector<Difference>& differences);
