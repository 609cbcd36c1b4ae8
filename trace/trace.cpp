#include "trace/trace.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <system_error>

#include <nlohmann/json.hpp>

#include "link/aes.h"
#include "link/cmac.h"
#include "link/devid.h"
#include "link/frame.h"
#include "olm/version.h"

using nlohmann::json;
// Lines keep their fields in the order written: time, direction and peer first.
using OrderedJson = nlohmann::ordered_json;

namespace {

// Appends a number in decimal, without a temporary string.
template <class Number>
void AppendNumber(std::string& out, Number value)
{
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

void AppendAddress(std::string& out, uint32_t ip)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        AppendNumber(out, (ip >> shift) & 0xFF);
        if (shift > 0) out += '.';
    }
}

// A letter as text: the character itself when printable, else its code ("0x05").
void AppendLetter(std::string& out, uint8_t letter)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (letter > 0x20 && letter < 0x7F && letter != '"' && letter != '\\') {
        out += static_cast<char>(letter);
    } else if (letter == '"' || letter == '\\') {
        out += '\\';
        out += static_cast<char>(letter);
    } else {
        out += "0x";
        out += kDigits[letter >> 4];
        out += kDigits[letter & 15];
    }
}

bool IsFrame(std::span<const uint8_t> bytes)
{
    return bytes.size() >= kUnsignedOverhead && bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 'D';
}

// A K frame that carries key material: everything after the identifier (the material and the CRC
// that is computed over it) is secret.
bool CarriesKey(std::span<const uint8_t> bytes)
{
    return IsFrame(bytes) && bytes[3] == 'K' && bytes.size() > kUnsignedOverhead;
}

// Appends the bytes in hex; those from maskFrom on as "xx".
void AppendHex(std::string& out, std::span<const uint8_t> bytes, std::size_t maskFrom)
{
    // Two digits a byte from one table: the longest lines (a device list) are mostly hex.
    static constexpr auto kPairs = [] {
        std::array<char, 512> pairs{};
        constexpr char kDigits[] = "0123456789abcdef";
        for (std::size_t b = 0; b < 256; ++b) {
            pairs[2 * b] = kDigits[b >> 4];
            pairs[2 * b + 1] = kDigits[b & 15];
        }
        return pairs;
    }();
    const std::size_t shown = std::min(maskFrom, bytes.size());
    const std::size_t at = out.size();
    out.resize(at + 2 * bytes.size(), 'x');
    char* p = out.data() + at;
    for (std::size_t i = 0; i < shown; ++i, p += 2) std::memcpy(p, &kPairs[2 * std::size_t{bytes[i]}], 2);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lines

TraceWriter::~TraceWriter()
{
    for (Key& k : keys_) std::fill(k.key.begin(), k.key.end(), uint8_t{0});
}

const std::array<uint8_t, 16>* TraceWriter::KeyOf(uint32_t id) const
{
    for (const Key& k : keys_)
        if (k.id == id) return &k.key;
    return nullptr;
}

void TraceWriter::Learn(uint32_t id, const uint8_t* material)
{
    std::array<uint8_t, kKeyMaterial> key{};
    std::memcpy(key.data(), material, key.size());
    AES128 aes;   // its key schedule, the material's, is cleared when it goes
    MakeSessionKey(aes, key);
    for (Key& k : keys_) {
        if (k.id == id) {
            k.key = key;
            std::fill(key.begin(), key.end(), uint8_t{0});
            return;
        }
    }
    keys_.push_back({id, key});
    std::fill(key.begin(), key.end(), uint8_t{0});
}

const std::string& TraceWriter::NameOf(uint32_t id)
{
    // Device names are made once per identifier: a trace meets the same few controllers again and
    // again, and their names are the most expensive text of a short line.
    for (const auto& [known, name] : names_)
        if (known == id) return name;
    if (names_.size() >= 256) names_.clear();
    names_.emplace_back(id, id == kAllDevices ? std::string("*") : DevName(id));
    return names_.back().second;
}

std::string TraceWriter::Line(int64_t ms, TraceDirection dir, uint32_t ip, uint16_t port,
                              std::span<const uint8_t> bytes, const std::string& error)
{
    // The fixed fields are written directly: a trace must cost a selection little, and every one
    // of them is plain ASCII. Text from outside (an error message) goes through the JSON library,
    // which escapes it and replaces what is not UTF-8.
    const bool secret = CarriesKey(bytes);
    const std::size_t n = bytes.size();
    std::string line;
    line.reserve(200 + 2 * n);
    line += "{\"ms\":";
    AppendNumber(line, ms);
    line += dir == TraceDirection::Sent ? ",\"dir\":\"send\"" : ",\"dir\":\"recv\"";
    line += ",\"ip\":\"";
    AppendAddress(line, ip);
    line += "\",\"port\":";
    AppendNumber(line, port);
    line += ",\"len\":";
    AppendNumber(line, n);
    line += ",\"hex\":\"";
    AppendHex(line, bytes, secret ? 8 : n);
    line += '"';
    if (secret) line += ",\"masked\":true";
    if (IsFrame(bytes)) {
        const uint32_t id = GetU32(&bytes[4]);
        const bool isSigned = bytes[3] == 'C' && n >= kSignedOverhead;
        line += ",\"tag\":\"MMD";
        AppendLetter(line, bytes[3]);
        line += "\",\"id\":";
        AppendNumber(line, id);
        line += ",\"dev\":\"";
        line += NameOf(id);
        line += isSigned ? "\",\"signed\":true" : "\",\"signed\":false";
        line += ",\"letter\":\"";
        if (isSigned) {
            AppendLetter(line, static_cast<uint8_t>(bytes[10] & 0x7F));
            line += "\",\"counter\":";
            AppendNumber(line, GetU16(&bytes[8]));
            const char* check = "no-key";
            if (const auto* key = KeyOf(id)) {
                aes_.SetKey(key->data());
                check = CheckSignedCode(cmac_, bytes) ? "code-ok" : "code-bad";
            }
            line += ",\"check\":\"";
            line += check;
            line += '"';
        } else {
            const bool crcOk = CheckUnsigned(bytes);
            AppendLetter(line, bytes[3]);
            line += crcOk ? "\",\"check\":\"crc-ok\"" : "\",\"check\":\"crc-bad\"";
            if (bytes[3] == 'O' && n == kStatusReplyLength) {
                line += ",\"status\":";
                AppendNumber(line, bytes[10]);
            }
            if (secret && crcOk && n == kUnsignedOverhead + kKeyMaterial) Learn(id, &bytes[8]);
        }
    }
    if (!error.empty()) line += ",\"error\":" + json(error).dump(-1, ' ', false, json::error_handler_t::replace);
    line += '}';
    return line;
}

std::string TraceWriter::StartLine(int64_t utcSeconds, const std::string& program)
{
    const OrderedJson line = {{"start", UtcText(utcSeconds)}, {"program", program}, {"version", OLM_VERSION}};
    return line.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

// ---------------------------------------------------------------------------------------------
// The endpoint

TraceEndpoint::TraceEndpoint(Endpoint& inner, const std::filesystem::path& file, const std::string& program)
    : inner_(inner)
{
    errno = 0;
    // Unbuffered: each line goes to the file in one write of its own, which is the flush.
    out_.rdbuf()->pubsetbuf(nullptr, 0);
    out_.open(file, std::ios::out | std::ios::app | std::ios::binary);
    if (!out_.is_open()) {
        const int code = errno;
        const auto name = file.u8string();
        std::string message = "Nie mo\u017Cna otworzy\u0107 pliku \u015Bladu \u201E" +
                              std::string(name.begin(), name.end()) + "\u201D";
        if (code != 0) message += ": " + std::error_code(code, std::generic_category()).message();
        throw std::runtime_error(message + ".");
    }
    Write(TraceWriter::StartLine(inner_.UtcSeconds(), program));
}

void TraceEndpoint::Write(std::string line)
{
    if (!out_) return;
    line += '\n';
    out_.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void TraceEndpoint::SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length)
{
    const std::span<const uint8_t> bytes(data, length);
    try {
        inner_.SendTo(ip, port, data, length);
    } catch (const std::exception& e) {
        Write(writer_.Line(inner_.NowMs(), TraceDirection::Sent, ip, port, bytes, e.what()));
        throw;
    }
    Write(writer_.Line(inner_.NowMs(), TraceDirection::Sent, ip, port, bytes));
}

std::optional<std::size_t> TraceEndpoint::Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs,
                                                   uint32_t& fromIp, uint16_t& fromPort)
{
    const std::optional<std::size_t> n = inner_.Receive(buffer, capacity, timeoutMs, fromIp, fromPort);
    if (n) Write(writer_.Line(inner_.NowMs(), TraceDirection::Received, fromIp, fromPort, {buffer, *n}));
    return n;
}

// ---------------------------------------------------------------------------------------------
// The viewer

namespace {

// Pads UTF-8 text with blanks to a width counted in characters.
std::string Pad(const std::string& text, std::size_t width)
{
    const auto chars = static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    return chars >= width ? text : text + std::string(width - chars, ' ');
}

std::string CheckText(const std::string& check)
{
    if (check == "crc-ok") return "CRC dobre";
    if (check == "crc-bad") return "CRC z\u0142e";
    if (check == "code-ok") return "kod dobry";
    if (check == "code-bad") return "kod z\u0142y";
    if (check == "no-key") return "kod nieznany (brak klucza)";
    return check;
}

std::string ViewLine(const json& line)
{
    if (line.contains("start")) {
        return "--- " + line.value("program", std::string("?")) + " " + line.value("version", std::string("?")) +
               ", start " + line.at("start").get<std::string>();
    }
    const bool sent = line.at("dir").get<std::string>() == "send";
    char head[96];
    std::snprintf(head, sizeof head, "%8lld ms  %s  %-21s %5zu B  ", static_cast<long long>(line.at("ms").get<int64_t>()),
                  sent ? "->" : "<-",
                  (line.at("ip").get<std::string>() + ":" + std::to_string(line.at("port").get<int>())).c_str(),
                  line.at("len").get<std::size_t>());
    std::string text = head;
    if (line.contains("tag")) {
        text += Pad(line.at("tag").get<std::string>(), 6) + Pad(line.at("dev").get<std::string>(), 12) +
                Pad(line.at("letter").get<std::string>(), 5);
        std::string kind = "niepodpisana";
        if (line.at("signed").get<bool>()) kind = "podpisana #" + std::to_string(line.at("counter").get<int>());
        text += Pad(kind, 17) + CheckText(line.at("check").get<std::string>());
        if (line.contains("status")) {
            char status[24];
            std::snprintf(status, sizeof status, ", stan 0x%02X", line.at("status").get<unsigned>());
            text += status;
        }
    } else {
        text += "(nie ramka protoko\u0142u)";
    }
    if (line.value("masked", false)) text += ", klucz ukryty";
    if (line.contains("error")) text += ", b\u0142\u0105d wysy\u0142ania: " + line.at("error").get<std::string>();
    return text;
}

}  // namespace

bool PrintTrace(std::istream& in, std::ostream& out)
{
    bool allGood = true;
    std::string text;
    for (long number = 1; std::getline(in, text); ++number) {
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.empty()) continue;
        try {
            out << ViewLine(json::parse(text)) << '\n';
        } catch (const json::exception&) {
            out << "wiersz " << number << ": to nie jest wiersz \u015Bladu\n";
            allGood = false;
        }
    }
    return allGood;
}
