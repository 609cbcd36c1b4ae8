#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/aes.h"
#include "link/cmac.h"

// Faults a simulated controller can be told to commit. Counters apply to the next N replies.
struct PeerFaults {
    bool silent = false;          // answers nothing at all
    int dropReplies = 0;          // the next N replies are lost
    int badCrc = 0;               // the next N unsigned replies carry a wrong CRC
    int badCode = 0;              // the next N signed replies carry a wrong code
    int wrongLetter = 0;          // the next N replies carry another command letter
    int foreignId = 0;            // the next N replies carry another controller's identifier
    bool duplicate = false;       // every reply is sent twice
    int lateMs = 0;               // replies leave this much later (over 300 ms misses the wait)
    bool foreignSession = false;  // another client holds the session: status bit 7, K refused
    int keyLength = 16;           // K is answered with this many bytes of key material
    int noAckBlock = -1;          // c for this block index is answered with 0x15, not 6
    bool statusNotOne = false;    // status payload byte 3 is not '1'
    int extraPayload = 0;         // the next signed reply carries this many more payload bytes
};

// One request as the peer saw it.
struct PeerRequest {
    int64_t atMs = 0;
    char letter = 0;              // command letter (unsigned tag letter or signed byte 10)
    bool isSigned = false;
    bool codeOk = true;           // signed: the code verified with the session key
    uint16_t counter = 0;         // signed: frame counter
    uint32_t id = 0;
    std::vector<uint8_t> payload;
};

struct PeerReply {
    std::vector<uint8_t> bytes;
    int delayMs = 0;
};

// The controller's side of the protocol: status, key, time, device list, configuration blocks,
// delete and replace, keep-alive and close. Everything it holds is bytes in wire layout.
class ControllerPeer {
public:
    ControllerPeer(uint32_t id, uint8_t status);
    ControllerPeer(const ControllerPeer&) = delete;
    ControllerPeer& operator=(const ControllerPeer&) = delete;

    // Serves one request datagram; returns the replies (none for T, a foreign id, a bad frame or
    // a signed request with a wrong code).
    std::vector<PeerReply> Handle(std::span<const uint8_t> request, int64_t nowMs);

    // Status byte as reported now: mode bits, bit 7 while a session is held.
    uint8_t StatusByte(int64_t nowMs);
    bool HasSession(int64_t nowMs);
    void DropSession() { session_ = false; }

    uint32_t id;
    uint8_t status;                                  // mode index in bits 0-1; other bits kept
    std::vector<uint8_t> deviceList;                 // payload of the D reply
    std::array<std::vector<uint8_t>, 8> blocks;      // payloads of C replies by block index
    std::optional<uint32_t> lastTime;                // the last T frame's seconds
    PeerFaults faults;
    std::vector<PeerRequest> log;                    // every request served, in order
    // Called on every reply before it leaves; tests may rewrite it.
    std::function<void(const PeerRequest&, std::vector<uint8_t>&)> mutateReply;
    static constexpr int64_t kSessionIdleMs = 30000;

private:
    std::vector<PeerReply> Reply(const PeerRequest& req, std::vector<uint8_t> frame);
    void DeleteInactive();
    void Replace(uint8_t oldIndex, uint8_t newIndex);

    AES128 aes_;
    CMAC cmac_{aes_};
    bool session_ = false;
    std::array<uint8_t, 16> key_{};
    int64_t lastTraffic_ = 0;
    uint32_t keySeed_;
};
