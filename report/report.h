#pragma once
#include <cstdint>
#include <string>

class BusDevSet;
class DoorConfig;

struct ReportDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// The report text: cp1250 bytes, every line ending in CR LF. A pure function of the model, the
// controller's identifier, the location (cp1250) and the date.
std::string ReportText(uint32_t controllerId, const BusDevSet& devs, const DoorConfig& doors,
                       const std::string& location, const ReportDate& date);

// Writes ReportText to the file (name in the local 8-bit encoding). Returns false, writing nothing
// and saying nothing, when the file cannot be opened.
bool WriteReport(const std::string& fileName, uint32_t controllerId, const BusDevSet& devs,
                 const DoorConfig& doors, const std::string& location, const ReportDate& date);
