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

// Faults a simulated controller can be told to commit. Counters apply to the next N replies and
// count down as those replies leave.
struct PeerFaults {
    bool silent = false;          // answers nothing at all (requests are still logged)
    int dropReplies = 0;          // the next N replies are lost
    int badCrc = 0;               // the next N unsigned replies carry a wrong CRC
    int badCode = 0;              // the next N signed replies carry a wrong code
    int wrongLetter = 0;          // the next N replies carry another command letter
    int foreignId = 0;            // the next N replies carry another controller's identifier
    bool duplicate = false;       // every reply is sent twice
    int lateMs = 0;               // replies leave this much later (over 300 ms misses the wait)
    bool foreignSession = false;  // another client holds the session: status bit 7, K refused,
                                  // signed requests ignored
    int keyLength = 16;           // K is answered with this many bytes of key material; a session
                                  // opens only when it is 16
    int noAckBlock = -1;          // c for this block index is answered with 0x15 and not stored
    bool statusNotOne = false;    // status payload byte 3 is '0' instead of '1'
    int extraPayload = 0;         // the next signed reply carries this many more payload bytes
};

// One request as the peer saw it.
struct PeerRequest {
    int64_t atMs = 0;
    char letter = 0;              // command letter (unsigned tag letter or signed byte 10)
    bool isSigned = false;
    bool codeOk = true;           // signed: the code verified with the session key (false also
                                  // when no session was held to verify it with)
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
//
// How it behaves where the protocol leaves the choice to the controller:
// - Every K grants a fresh session (new key material), replacing any session held; the
//   controller cannot tell clients apart, so a K whose reply was lost and is sent again simply
//   opens the session again.
// - The session is kept alive by K and by signed requests with a good code; status polls do not
//   count, since anyone may send them. After 30 s without such traffic it is dropped.
// - D and C are served only in modes 2 and 3; in modes 0 and 1 they get no reply.
// - C for a block index of 8 or more is answered with an empty payload; otherwise the block held
//   at that index is returned as it stands (empty when none is held).
// - c, F and R are always acknowledged with 6, as the program expects of every controller
//   (the fault noAckBlock aside).
//   c stores the record when it is 104 bytes and the index is below 8, keeping the 8-byte header
//   of the block held (or making one for the kind sent when none is held); otherwise nothing
//   changes.
// - F removes every device with status bit 7 from the list; the devices after it move up, and
//   the resource identifiers in the blocks follow them (those of a removed device become 0xFFFF).
// - R (low byte: the inactive device, high byte: the new one) puts the new device into the old
//   device's slot with plain status (bits 7 and 4 cleared), so the old device's settings now
//   serve it; the new device's former slot becomes absent, and identifiers that named it become
//   0xFFFF. A pair that is not an inactive device and a new device of the same type code changes
//   nothing.
// - S and s are acknowledged; s then drops the session. T is stored without reply.
// - Ignored without reply: a request for another identifier, an unsigned request with a wrong
//   CRC, a signed request whose code does not verify with the session key (or with no session).
class ControllerPeer {
public:
    ControllerPeer(uint32_t id, uint8_t status);
    ControllerPeer(const ControllerPeer&) = delete;
    ControllerPeer& operator=(const ControllerPeer&) = delete;

    // Serves one request datagram arriving at nowMs; returns the replies (none for T, a foreign
    // id, a bad frame or a signed request with a wrong code).
    std::vector<PeerReply> Handle(std::span<const uint8_t> request, int64_t nowMs);

    // Status byte as reported now: mode bits, bit 7 while a session is held.
    uint8_t StatusByte(int64_t nowMs);
    bool HasSession(int64_t nowMs);
    void DropSession() { session_ = false; }
    // The session key of the current session (the encryption of the material under itself).
    const std::array<uint8_t, 16>& SessionKey() const { return key_; }

    uint32_t id;
    uint8_t status;                                  // mode index in bits 0-1; other bits kept
    std::vector<uint8_t> deviceList;                 // payload of the D reply
    std::array<std::vector<uint8_t>, 8> blocks;      // payloads of C replies by block index
    std::optional<uint32_t> lastTime;                // the last T frame's seconds
    PeerFaults faults;
    std::vector<PeerRequest> log;                    // every request addressed to it, in order
    // Called on every reply before it leaves; tests may rewrite it.
    std::function<void(const PeerRequest&, std::vector<uint8_t>&)> mutateReply;
    static constexpr int64_t kSessionIdleMs = 30000;
    static constexpr uint8_t kAck = 6;
    static constexpr uint8_t kNak = 0x15;

private:
    std::vector<PeerReply> ServeUnsigned(PeerRequest& req);
    std::vector<PeerReply> ServeSigned(PeerRequest& req);
    std::vector<PeerReply> Reply(const PeerRequest& req, std::vector<uint8_t> payload);
    void Expire(int64_t nowMs);
    void GrantSession(std::span<const uint8_t> material);
    std::array<uint8_t, 16> NextMaterial();
    void StoreBlock(std::span<const uint8_t> payload);
    void DeleteInactive();
    void Replace(uint8_t oldIndex, uint8_t newIndex);
    // Rewrites the device indexes of the resource identifiers in every block: map[i] is the new
    // index of device i, or -1 when it is gone.
    void RemapBlocks(const std::vector<int>& map);

    AES128 aes_;
    CMAC cmac_{aes_};
    bool session_ = false;
    std::array<uint8_t, 16> key_{};
    int64_t lastTraffic_ = 0;
    uint64_t keySeed_;
};
