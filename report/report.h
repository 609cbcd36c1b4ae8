#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

class BusDevSet;
class DoorConfig;

struct ReportDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// The report text: cp1250 bytes, every line ending in CR LF. A pure function of the model, the
// controller's identifier, the location (cp1250) and the date. A door whose record was neither read
// from the controller nor edited is reported as not read ("(nie odczytano)", "???"), never as
// unassigned. Control bytes in a door name or the location are written as blanks.
std::string ReportText(uint32_t controllerId, const BusDevSet& devs, const DoorConfig& doors,
                       const std::string& location, const ReportDate& date);

// A report file that could not be created or written: the file's name and the system's own
// message for the failure (a missing folder, a full disk, no permission).
class ReportFileError : public std::runtime_error {
public:
    ReportFileError(std::string fileName, std::string systemMessage);
    std::string fileName;
    std::string systemMessage;
};

// Writes ReportText to the file (name in the local 8-bit encoding), creating or truncating it.
// Throws ReportFileError when the file cannot be opened or written.
void WriteReport(const std::string& fileName, uint32_t controllerId, const BusDevSet& devs,
                 const DoorConfig& doors, const std::string& location, const ReportDate& date);
