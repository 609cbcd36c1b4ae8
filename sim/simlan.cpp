#include "sim/simlan.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

SimLan::SimLan(uint32_t hostIp) : hostIp_(hostIp) {}

ControllerPeer& SimLan::AddPeer(uint32_t ip, uint32_t id, uint8_t status)
{
    peers_.push_back({ip, std::make_unique<ControllerPeer>(id, status)});
    return *peers_.back().peer;
}

ControllerPeer* SimLan::Peer(uint32_t id)
{
    for (Hosted& h : peers_)
        if (h.peer->id == id) return h.peer.get();
    return nullptr;
}

uint32_t SimLan::PeerIp(uint32_t id) const
{
    for (const Hosted& h : peers_)
        if (h.peer->id == id) return h.ip;
    return 0;
}

void SimLan::Inject(uint32_t fromIp, std::vector<uint8_t> bytes, int64_t atMs) { Queue(fromIp, std::move(bytes), atMs); }

void SimLan::Queue(uint32_t fromIp, std::vector<uint8_t> bytes, int64_t atMs)
{
    const auto at = std::upper_bound(pending_.begin(), pending_.end(), atMs,
                                     [](int64_t t, const Datagram& d) { return t < d.atMs; });
    pending_.insert(at, Datagram{atMs, fromIp, hostIp_, kUdpPort, std::move(bytes)});
}

void SimLan::FollowRealTime(bool on)
{
    SyncRealTime();
    realTime_ = on;
    realMark_ = std::chrono::steady_clock::now();
}

void SimLan::SyncRealTime()
{
    if (!realTime_) return;
    const auto mark = std::chrono::steady_clock::now();
    now_ += std::chrono::duration_cast<std::chrono::milliseconds>(mark - realMark_).count();
    // Keep the fraction of a millisecond that has not been counted yet.
    realMark_ += std::chrono::duration_cast<std::chrono::milliseconds>(mark - realMark_);
}

int64_t SimLan::NowMs()
{
    SyncRealTime();
    return now_;
}

void SimLan::Bind(uint16_t port)
{
    if (!bindError.empty()) throw std::runtime_error(bindError);
    boundPort_ = port;
    bound_ = true;
}

void SimLan::SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length)
{
    const int64_t now = NowMs();
    std::vector<uint8_t> bytes(data, data + length);
    sent.push_back({now, hostIp_, ip, port, bytes});
    if (echoBroadcast && port == boundPort_ && IsBroadcast(ip)) Queue(hostIp_, bytes, now);
    if (port != kUdpPort) return;
    for (Hosted& h : peers_) {
        if (!Reaches(ip, h.ip)) continue;
        for (PeerReply& reply : h.peer->Handle(bytes, now))
            Queue(h.ip, std::move(reply.bytes), now + latencyMs + reply.delayMs);
    }
}

std::optional<std::size_t> SimLan::Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs, uint32_t& fromIp,
                                           uint16_t& fromPort)
{
    const int64_t now = NowMs();
    const int64_t deadline = now + std::max(timeoutMs, 0);
    if (pending_.empty() || pending_.front().atMs > deadline) {
        now_ = deadline;
        return std::nullopt;
    }
    Datagram d = std::move(pending_.front());
    pending_.pop_front();
    now_ = std::max(now, d.atMs);
    fromIp = d.fromIp;
    fromPort = d.port;
    const std::size_t n = std::min(capacity, d.bytes.size());
    if (n > 0) std::memcpy(buffer, d.bytes.data(), n);
    d.atMs = now_;
    received.push_back(std::move(d));
    return n;
}

std::vector<uint32_t> SimLan::DirectedBroadcasts()
{
    std::vector<uint32_t> addresses;
    for (const Interface& i : interfaces) addresses.push_back(i.Broadcast());
    return addresses;
}

bool SimLan::IsBroadcast(uint32_t to) const
{
    if (to == kBroadcastIp) return true;
    return std::any_of(interfaces.begin(), interfaces.end(), [to](const Interface& i) { return i.Broadcast() == to; });
}

bool SimLan::Reaches(uint32_t to, uint32_t peerIp) const
{
    if (to == peerIp) return true;
    if (to == kBroadcastIp) return interfaces.empty() || interfaces.front().Holds(peerIp);
    return std::any_of(interfaces.begin(), interfaces.end(),
                       [to, peerIp](const Interface& i) { return i.Broadcast() == to && i.Holds(peerIp); });
}
