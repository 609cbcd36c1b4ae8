#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/endpoint.h"
#include "link/target.h"
#include "sim/peer.h"

// An in-process LAN with a virtual clock. The program's endpoint sits at hostIp; controller peers
// sit at their own addresses and answer what is sent to them on port 45389 (or broadcast). A
// receive that finds nothing advances the clock by its timeout and returns at once, so silent
// attempts cost no time; a receive that finds a datagram arriving within its timeout advances the
// clock to that datagram's arrival.
class SimLan : public Endpoint {
public:
    struct Datagram {
        int64_t atMs = 0;      // sent: when it left; received: when it arrived
        uint32_t fromIp = 0;
        uint32_t toIp = 0;
        uint16_t port = 0;     // sent: destination port; received: source port
        std::vector<uint8_t> bytes;
    };

    // One network card of the program's machine: its address and prefix length.
    struct Interface {
        uint32_t ip = 0;
        int prefix = 24;
        uint32_t Mask() const { return PrefixMask(prefix); }
        uint32_t Broadcast() const { return ip | ~Mask(); }
        bool Holds(uint32_t address) const { return (address & Mask()) == (ip & Mask()); }
    };

    explicit SimLan(uint32_t hostIp = 0xC0A80164u /* 192.168.1.100 */);

    ControllerPeer& AddPeer(uint32_t ip, uint32_t id, uint8_t status);
    // The first peer with this identifier, or nullptr.
    ControllerPeer* Peer(uint32_t id);
    // The address of the first peer with this identifier, or 0.
    uint32_t PeerIp(uint32_t id) const;
    std::size_t PeerCount() const { return peers_.size(); }

    // A datagram that arrives at the program's endpoint at the given virtual time (stray, late),
    // from port 45389 of fromIp.
    void Inject(uint32_t fromIp, std::vector<uint8_t> bytes, int64_t atMs);
    void Advance(int64_t ms) { now_ += ms; }
    // The clock follows real time besides the virtual waits (the demo program).
    void FollowRealTime(bool on);
    // Datagrams that have not been received yet.
    std::size_t PendingCount() const { return pending_.size(); }

    // Endpoint.
    using Endpoint::Receive;
    void Bind(uint16_t port) override;
    bool IsBound() const override { return bound_; }
    void SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length) override;
    std::optional<std::size_t> Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs, uint32_t& fromIp,
                                       uint16_t& fromPort) override;
    int64_t NowMs() override;
    int64_t UtcSeconds() override { return utcBase + NowMs() / 1000; }
    // The directed broadcast address of each of `interfaces`.
    std::vector<uint32_t> DirectedBroadcasts() override;

    // The program's network cards. Empty (the default): one segment that every peer is on, which
    // 255.255.255.255 reaches whole. Otherwise 255.255.255.255 leaves through the first card only
    // (the default route's) and reaches the peers in its subnet, a directed broadcast reaches the
    // peers in the subnet of its card, and unicast reaches any peer, as a router would carry it.
    std::vector<Interface> interfaces;

    std::vector<Datagram> sent;       // every datagram the program sent, in order
    std::vector<Datagram> received;   // every datagram the program received, in order
    std::string bindError;            // when set, Bind throws std::runtime_error with it
    int latencyMs = 1;                // delay of every reply
    // A broadcast also comes back to the program's own endpoint, as it does on a real network.
    bool echoBroadcast = false;
    int64_t utcBase = 1715904000;     // 2024-05-17 00:00 UTC at virtual time 0

    // Drops every recording (not the peers or pending datagrams).
    void ClearLog() { sent.clear(); received.clear(); }

private:
    struct Hosted {
        uint32_t ip;
        std::unique_ptr<ControllerPeer> peer;
    };
    void Queue(uint32_t fromIp, std::vector<uint8_t> bytes, int64_t atMs);
    bool IsBroadcast(uint32_t to) const;
    bool Reaches(uint32_t to, uint32_t peerIp) const;
    void SyncRealTime();

    uint32_t hostIp_;
    uint16_t boundPort_ = 0;
    bool bound_ = false;
    int64_t now_ = 0;
    bool realTime_ = false;
    std::chrono::steady_clock::time_point realMark_;
    std::vector<Hosted> peers_;
    std::deque<Datagram> pending_;   // ordered by atMs; equal times keep the order of queueing
};
