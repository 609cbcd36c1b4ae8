#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The one datagram endpoint through which the program reaches the network. The main window owns
// the concrete endpoint (real UDP, or the simulated LAN in tests and the demo) and hands it to the
// link with SetEndpoint before the first exchange. Addresses are IPv4, first octet in the most
// significant byte. Errors of the socket layer are thrown as std::runtime_error carrying the
// system's own message; they are not link errors.
class Endpoint {
public:
    virtual ~Endpoint() = default;

    // Binds the local port with broadcast enabled. Called once before the first send or receive.
    virtual void Bind(uint16_t port) = 0;
    virtual bool IsBound() const = 0;
    // Sends one datagram (255.255.255.255 broadcasts).
    virtual void SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length) = 0;
    // Waits at most timeoutMs for one datagram. Returns its length (truncated to capacity; 0 for an
    // empty datagram) and its sender, or nullopt when nothing came in time. timeoutMs 0 takes only
    // what is already waiting.
    virtual std::optional<std::size_t> Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs,
                                               uint32_t& fromIp, uint16_t& fromPort) = 0;
    std::optional<std::size_t> Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs, uint32_t& fromIp)
    {
        uint16_t port = 0;
        return Receive(buffer, capacity, timeoutMs, fromIp, port);
    }
    // The directed broadcast addresses (192.168.1.255 for 192.168.1.20/24) of the IPv4 interfaces
    // that are up, are not loopback and have a broadcast address. 255.255.255.255 leaves through
    // the one interface that the routing table picks; the search also sends to each of these so
    // that it reaches every network card's segment. An endpoint that knows no interfaces has none.
    virtual std::vector<uint32_t> DirectedBroadcasts() { return {}; }
    // Millisecond clock for reply deadlines.
    virtual int64_t NowMs() = 0;
    // Seconds since 1970-01-01 00:00 UTC, for the time frame.
    virtual int64_t UtcSeconds() = 0;
};

constexpr uint16_t kUdpPort = 45389;          // bound locally and addressed on the controllers
constexpr int kReceiveTimeoutMs = 200;        // default receive timeout
constexpr std::size_t kBufferSize = 8192;     // receive buffer of one exchange
constexpr uint32_t kBroadcastIp = 0xFFFFFFFFu;

// Seconds since 1970-01-01 00:00 UTC as text, the same in every program and file:
// "2024-05-17T08:00:00Z".
std::string UtcText(int64_t seconds);

// The program-wide endpoint. SetEndpoint(nullptr) detaches it (tests, window destruction).
void SetEndpoint(Endpoint* endpoint);
// Binds on first use (port 45389). Throws std::logic_error when no endpoint is set.
Endpoint& UDP();
