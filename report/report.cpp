#include "report/report.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "model/ctrlcfg.h"

namespace {

// The file is read on Windows machines: every line ends in CR LF whatever the platform.
constexpr const char* kEol = "\r\n";
constexpr int kLabelWidth = 14;
constexpr int kDoorsPerSection = 4;
constexpr int kLabelsPerLine = 6;

// Right-aligned in width columns; a longer text is written whole.
std::string Right(const std::string& text, std::size_t width, char fill = ' ')
{
    if (text.size() >= width) return text;
    return std::string(width - text.size(), fill) + text;
}

std::string TwoDigits(int value) { return Right(std::to_string(value), 2, '0'); }

// Text from a controller or the user written into a line: a control byte (a CR or LF in a door
// name) would break the layout, so each one becomes a blank of the same width.
std::string Printable(std::string text)
{
    for (char& c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) c = ' ';
    }
    return text;
}

// What stands in a door's column when its record was not read from the controller.
constexpr const char* kUnreadName = "(nie odczytano)";
constexpr const char* kUnreadOutput = "     ???      ";   // as wide as an empty output's "---"
constexpr const char* kUnreadInput = "     ???     ";

struct SlotRow {
    const char* label;
    int slot;
};

// Report labels of the output and input slots, in the order the rows are written.
constexpr SlotRow kLockRow = {"Rygiel", 0};
constexpr SlotRow kSensorRow = {"Czujnik otwarcia", 1};
constexpr std::array<SlotRow, 9> kInputRows = {{
    {"Przycisk wyj\x9C" "cia", 0},   // "Przycisk wyjścia"
    {"Po\xBF" "ar", 2},              // "Pożar"
    {"Uzbrojenie (we)", 3},
    {"Dzwonek", 4},
    {"Tamper 1", 5},
    {"Tamper 2", 6},
    {"Tamper 3", 7},
    {"Brak zasilania AC", 8},
    {"Akumulator", 9},
}};
constexpr std::array<SlotRow, 5> kOutputRows = {{
    {"Przypomnienie", 1},
    {"Alarm", 2},
    {"Uzbrojenie (wy)", 3},
    {"Stra\xBFnik", 4},   // "Strażnik"
    {"Ustawiane", 5},
}};

class Section {
public:
    Section(std::string& out, const BusDevSet& devs, const DoorConfig& cfg, int first, int count)
        : out_(out), devs_(devs), cfg_(cfg), first_(first), count_(count), unread_(cfg.UnreadDoors())
    {
    }

    void Write()
    {
        const std::string ruler(static_cast<std::size_t>(22 + 22 * count_), '-');
        Line("");
        std::string headings;
        for (int n = 0; n < count_; ++n) {
            headings += Right("Przej\x9C" "cie " + std::to_string(first_ + n + 1),   // "Przejście %d"
                              n == 0 ? 38 : 22);
        }
        Line(headings);
        Line(ruler);
        std::string names = Right("Nazwa", 20) + ": ";
        std::size_t gap = 2;
        for (int n = 0; n < count_; ++n) {
            const std::string name = Unread(n) ? std::string(kUnreadName) : Printable(cfg_.DoorName(first_ + n));
            names += std::string(gap, ' ') + name;
            gap = 22 - std::min<std::size_t>(name.size(), 22);
        }
        Line(names);
        Line("");
        OutputRow(kLockRow);
        InputRow(kSensorRow);
        Line("");
        for (const SlotRow& row : kInputRows) InputRow(row);
        Line("");
        for (int slot = 0; slot < kReaderSlots; ++slot) ReaderRow(slot);
        Line("");
        for (const SlotRow& row : kOutputRows) OutputRow(row);
        Line("");
        AirlockRow();
        Line(ruler);
        Line("");
    }

private:
    void Line(const std::string& text) { out_ += text + kEol; }
    const DoorCfg& Door(int n) const { return cfg_.doors[static_cast<std::size_t>(first_ + n)]; }
    // The record holds nothing the controller sent and nothing the user made: its content is not
    // the door's, so none of it is reported.
    bool Unread(int n) const { return ((unread_ >> (first_ + n)) & 1u) != 0; }

    void OutputRow(const SlotRow& row)
    {
        std::string line = Right(row.label, 20) + ":";
        for (int n = 0; n < count_; ++n) {
            const ResId id = Door(n).Output(row.slot);
            if (Unread(n)) line += Right(kUnreadOutput, 18) + "    ";
            else line += Right(devs_.ResName(id, "Out"), 18) + (ResHasNc(id) ? "[NC]" : "    ");
        }
        Line(line);
    }

    void InputRow(const SlotRow& row)
    {
        std::string line = Right(row.label, 20) + ":";
        for (int n = 0; n < count_; ++n) {
            const ResId id = Door(n).Input(row.slot);
            if (Unread(n)) line += Right(kUnreadInput, 17) + "     ";
            else line += Right(devs_.ResName(id, "In"), 17) + (ResHasNc(id) ? " [NC]" : "     ");
        }
        Line(line);
    }

    void ReaderRow(int slot)
    {
        std::string line = Right("Czytnik ", 19) + std::to_string(slot + 1) + ":";
        for (int n = 0; n < count_; ++n) {
            const ResId id = Door(n).Reader(slot);
            const bool exit = id != kNoRes && Door(n).ExitReader(slot);
            if (Unread(n)) line += Right(kUnreadInput, 17) + "     ";
            else line += Right(devs_.ResName(id, "Rd"), 17) + (exit ? " [Wy]" : "     ");
        }
        Line(line);
    }

    void AirlockRow()
    {
        std::string line = Right("\x8Cluzy:", 21);   // "Śluzy:"
        for (int n = 0; n < count_; ++n) {
            const std::size_t width = n == 0 ? 13 : 17;
            const int airlock = cfg_.Airlock(first_ + n);
            if (Unread(n)) line += Right("??? ", width) + " ";
            else if (airlock >= 0) line += Right("\x8Cluza ", width) + std::to_string(airlock + 1);   // "Śluza "
            else line += Right("--- ", width) + " ";
            line += "    ";
        }
        Line(line);
    }

    std::string& out_;
    const BusDevSet& devs_;
    const DoorConfig& cfg_;
    int first_;
    int count_;
    uint8_t unread_;   // doors that are neither read nor edited, bit i for door i
};

}  // namespace

std::string ReportText(uint32_t controllerId, const BusDevSet& devs, const DoorConfig& doors,
                       const std::string& location, const ReportDate& date)
{
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + kEol; };
    const std::string title = "Raport konfiguracji przej\x9C\xE6 kontrolera";   // "... przejść kontrolera"
    line(title);
    line(std::string(title.size(), '='));
    line("");
    line(Right("Kontroler: ", kLabelWidth) + DevName(controllerId));
    line(Right("Lokalizacja: ", kLabelWidth) + Printable(location));
    line(Right("Data: ", kLabelWidth) + std::to_string(date.year) + "-" + TwoDigits(date.month) + "-" +
         TwoDigits(date.day));
    line("");

    std::string list = Right("Urz\xB9" "dzenia: ", kLabelWidth);   // "Urządzenia: "
    const int present = std::clamp(devs.presentCount, 0, kMaxDevices);
    for (int p = 0; p < present; ++p) {
        if (p > 0) list += ", ";
        if (p > 0 && p % kLabelsPerLine == 0) {
            line(list);
            list = std::string(kLabelWidth, ' ');
        }
        list += devs.DevLabel(devs.records[devs.order[static_cast<std::size_t>(p)]]);
    }
    line(list + ".");
    line("");

    const int doorCount = std::clamp(devs.doorCount, 0, kMaxDoors);
    for (int first = 0; first < doorCount; first += kDoorsPerSection) {
        Section(out, devs, doors, first, std::min(kDoorsPerSection, doorCount - first)).Write();
    }
    return out;
}

ReportFileError::ReportFileError(std::string name, std::string message)
    : std::runtime_error(name + ": " + message), fileName(std::move(name)), systemMessage(std::move(message))
{
}

void WriteReport(const std::string& fileName, uint32_t controllerId, const BusDevSet& devs,
                 const DoorConfig& doors, const std::string& location, const ReportDate& date)
{
    const std::string text = ReportText(controllerId, devs, doors, location, date);
    const auto fail = [&fileName](int error) { throw ReportFileError(fileName, std::strerror(error != 0 ? error : EIO)); };
    // Binary mode: the text already carries its CR LF line ends.
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "wb"), &std::fclose);
    if (!file) fail(errno);
    // A full disk may only show when the buffer is flushed or the file closed: each step is checked.
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) fail(errno);
    if (std::fflush(file.get()) != 0) fail(errno);
    if (std::fclose(file.release()) != 0) fail(errno);
}
