#include "link/target.h"

#include <algorithm>
#include <cstdio>

namespace {

std::vector<TargetRange>& ProgramTargets()
{
    static std::vector<TargetRange> targets;
    return targets;
}

// A decimal number of one to three digits, at most `max`; nothing else in the text.
std::optional<uint32_t> SmallNumber(std::string_view text, uint32_t max)
{
    if (text.empty() || text.size() > 3) return std::nullopt;
    uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

std::string Quoted(std::string_view text) { return "\u201E" + std::string(text) + "\u201D"; }   // „…”

}  // namespace

std::string IpText(uint32_t ip)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
    return text;
}

std::optional<uint32_t> ParseIp(std::string_view text)
{
    uint32_t address = 0;
    for (int octet = 0; octet < 4; ++octet) {
        const std::size_t dot = text.find('.');
        const bool last = octet == 3;
        if (last != (dot == std::string_view::npos)) return std::nullopt;
        const std::optional<uint32_t> value = SmallNumber(last ? text : text.substr(0, dot), 255);
        if (!value) return std::nullopt;
        address = (address << 8) | *value;
        if (!last) text.remove_prefix(dot + 1);
    }
    return address;
}

std::optional<TargetRange> ParseTarget(std::string_view text, std::string& error)
{
    const std::size_t slash = text.find('/');
    const std::optional<uint32_t> address = ParseIp(text.substr(0, slash));
    if (!address) {
        error = "Nieprawid\u0142owy cel " + Quoted(text) +
                ": oczekiwano ADRES lub ADRES/PREFIKS, np. 192.168.5.20 lub 192.168.5.0/24.";
        return std::nullopt;
    }
    int prefix = 32;
    if (slash != std::string_view::npos) {
        const std::optional<uint32_t> value = SmallNumber(text.substr(slash + 1), 32);
        if (!value) {
            error = "Nieprawid\u0142owy prefiks w " + Quoted(text) + ": oczekiwano liczby od 22 do 32.";
            return std::nullopt;
        }
        prefix = static_cast<int>(*value);
        if (prefix < kWidestTargetPrefix) {
            error = "Zakres " + Quoted(text) + " jest za du\u017Cy: najwy\u017Cej /22 (1022 adresy).";
            return std::nullopt;
        }
    }
    const uint32_t first = *address >> 24;
    if (first == 0 || first >= 224) {
        error = "Cel " + Quoted(text) +
                " nie mo\u017Ce by\u0107 celem wyszukiwania: to adres zerowy, grupowy lub zarezerwowany.";
        return std::nullopt;
    }
    TargetRange range;
    range.prefix = prefix;
    range.network = *address & range.Mask();
    return range;
}

std::string TargetText(const TargetRange& range)
{
    std::string text = IpText(range.network);
    if (range.prefix != 32) text += "/" + std::to_string(range.prefix);
    return text;
}

std::vector<uint32_t> TargetHosts(std::span<const TargetRange> ranges)
{
    std::vector<uint32_t> hosts;
    for (const TargetRange& range : ranges) {
        // A /31 is a point-to-point link whose two addresses are both hosts; a /32 is one host.
        const bool edges = range.prefix <= 30;
        const uint32_t first = range.network + (edges ? 1 : 0);
        const uint32_t last = range.Broadcast() - (edges ? 1 : 0);
        for (uint64_t ip = first; ip <= last; ++ip) hosts.push_back(static_cast<uint32_t>(ip));
    }
    std::sort(hosts.begin(), hosts.end());
    hosts.erase(std::unique(hosts.begin(), hosts.end()), hosts.end());
    return hosts;
}

void SetSearchTargets(std::vector<TargetRange> ranges) { ProgramTargets() = std::move(ranges); }

const std::vector<TargetRange>& SearchTargets() { return ProgramTargets(); }
