#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// An address as text, the same in every program and file: "192.168.1.20".
std::string IpText(uint32_t ip);
// Dotted decimal: four numbers 0-255 of one to three digits and nothing else; nullopt otherwise.
std::optional<uint32_t> ParseIp(std::string_view text);

// The network mask of a prefix length 0-32: 24 gives 255.255.255.0.
constexpr uint32_t PrefixMask(int prefix) { return prefix <= 0 ? 0 : ~0u << (32 - prefix); }

// Controllers beyond the segment: a router does not pass a broadcast on, so the search can also
// ask every address of a range by unicast (--target ADDRESS or --target ADDRESS/PREFIX). A range
// is at most a /22 (1022 addresses), so that a sweep stays short enough to repeat in every pass.
struct TargetRange {
    uint32_t network = 0;   // first octet most significant; the host bits are clear
    int prefix = 32;        // 22 to 32

    uint32_t Broadcast() const { return network | ~Mask(); }
    uint32_t Mask() const { return PrefixMask(prefix); }
    bool operator==(const TargetRange&) const = default;
};

constexpr int kWidestTargetPrefix = 22;

// Parses "ADDRESS" (one address, a /32) or "ADDRESS/PREFIX" with a prefix of 22 to 32; the
// address of a range may have host bits set ("192.168.5.17/24" is 192.168.5.0/24). The address is
// dotted decimal; 0.x.x.x and 224.0.0.0 and above (multicast, reserved, broadcast) are refused. On
// a bad value returns nullopt and puts a Polish message (UTF-8) that names the value into error.
std::optional<TargetRange> ParseTarget(std::string_view text, std::string& error);

// "10.0.3.0/24", or the bare address of a /32.
std::string TargetText(const TargetRange& range);

// The addresses that a sweep of the ranges asks, ascending and each once: every address of each
// range but its network and broadcast addresses (a /31 and a /32 have none to leave out).
std::vector<uint32_t> TargetHosts(std::span<const TargetRange> ranges);

// The ranges that every new UdpDevSet sweeps, set once by a program from its command line before
// its first search. Empty by default: the search sends only its broadcasts.
void SetSearchTargets(std::vector<TargetRange> ranges);
const std::vector<TargetRange>& SearchTargets();
