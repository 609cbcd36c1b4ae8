#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "link/aes.h"
#include "link/cmac.h"
#include "link/endpoint.h"

// A trace for support: one JSON line per datagram that a program sends or receives, with what the
// link makes of it. A line holds
//   ms      milliseconds on the endpoint's clock, which starts with the program
//   dir     "send" or "recv"
//   ip, port  the other side
//   len     the datagram's length; hex  its bytes in hex
// and, for a frame of the controllers' protocol (12 bytes or more beginning "MMD"):
//   tag     "MMDO", "MMDC", ...;  id  the identifier;  dev  its device name ("*" for every device)
//   letter  the command letter (a signed frame's byte 10 without the reply bit)
//   signed  true for a signed frame, which also has counter
//   check   "crc-ok" / "crc-bad" for an unsigned frame; "code-ok" / "code-bad" for a signed one, or
//           "no-key" while no session key of that controller is known
//   status  the status byte of a 28-byte status reply
// A send that the system refused has error (its message). The first line of each run names the
// program: {"start": UTC time, "program", "version"}.
//
// The 16 bytes of key material of a K reply, and the CRC computed over them, are masked in the hex
// as "xx" (masked: true). The trace derives each controller's session key from them in memory,
// exactly as the link does, only to check the codes of that controller's signed frames; neither
// the material nor a key is ever written.

enum class TraceDirection { Sent, Received };

// Turns datagrams into trace lines, keeping the session keys it derived.
class TraceWriter {
public:
    TraceWriter() = default;
    ~TraceWriter();
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;

    // The JSON text of one datagram's line, without the line feed.
    std::string Line(int64_t ms, TraceDirection dir, uint32_t ip, uint16_t port, std::span<const uint8_t> bytes,
                     const std::string& error = {});
    // The first line of a run.
    static std::string StartLine(int64_t utcSeconds, const std::string& program);

private:
    struct Key {
        uint32_t id;
        std::array<uint8_t, 16> key;
    };
    const std::array<uint8_t, 16>* KeyOf(uint32_t id) const;
    void Learn(uint32_t id, const uint8_t* material);
    const std::string& NameOf(uint32_t id);

    std::vector<Key> keys_;
    std::vector<std::pair<uint32_t, std::string>> names_;   // device names already made
    AES128 aes_;         // keyed afresh for each signed frame of a controller whose key is known
    CMAC cmac_{aes_};
};

// An endpoint that writes a trace of another endpoint's datagrams, the same over real UDP and on
// the simulated LAN. Each line is appended to the file and flushed at once, so a trace survives a
// crash up to its last datagram. A trace that can no longer be written (a full disk) stops
// quietly: the program's own work goes on.
class TraceEndpoint : public Endpoint {
public:
    // Opens the file for appending and writes the start line. Throws std::runtime_error with a
    // Polish message (UTF-8) that names the file when it cannot be opened.
    TraceEndpoint(Endpoint& inner, const std::filesystem::path& file, const std::string& program);

    using Endpoint::Receive;
    void Bind(uint16_t port) override { inner_.Bind(port); }
    bool IsBound() const override { return inner_.IsBound(); }
    void SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length) override;
    std::optional<std::size_t> Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs, uint32_t& fromIp,
                                       uint16_t& fromPort) override;
    std::vector<uint32_t> DirectedBroadcasts() override { return inner_.DirectedBroadcasts(); }
    int64_t NowMs() override { return inner_.NowMs(); }
    int64_t UtcSeconds() override { return inner_.UtcSeconds(); }

private:
    void Write(std::string line);   // appends the line and its line feed in one write

    Endpoint& inner_;
    std::ofstream out_;
    TraceWriter writer_;
};

// Prints a trace as one aligned line per datagram:
//   "    1203 ms  ->  10.231.0.2:45389        19 B  MMDC  K105_00042  D  podpisana #3    kod dobry"
// A line that is not a trace line is reported in its place ("wiersz 7: ..."). Returns false when
// there was such a line.
bool PrintTrace(std::istream& in, std::ostream& out);
