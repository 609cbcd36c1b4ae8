#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "frame.h"
#include "target.h"

using Block = std::array<uint8_t, kMaxPayload>;   // destination of D and C replies

// The name of the mode in bits 0-1 of a status byte: "Blokada", "Konfiguracja", "Serwis" or
// "Instalacja" (plain ASCII, the same in cp1250 and UTF-8).
const char* ModeName(uint8_t status);

// One controller as the link knows it. A plain value record: the set holds 100 of them and moves
// them by copying; copying never opens or closes a session.
struct UdpDev {
    uint32_t id = 0;          // device identifier, carried in every frame
    uint32_t ip = 0;          // IPv4 address, first octet most significant
    uint16_t seq = 0;         // counter of signed frames
    uint16_t mode = 0;        // status byte: bits 0-1 mode index, bit 7 a session with some client
    bool reachable = false;   // answered its last status poll
    bool changed = false;     // the last poll changed reachable or mode
    bool hasSession = false;  // this program holds a session with the controller
    std::array<uint8_t, kKeyMaterial> sessionKey{};

    int ModeIndex() const { return mode & 3; }
    bool ForeignSession() const { return (mode & 0x80) != 0 && !hasSession; }

    // Datagram exchange. SendWait returns the matching reply's length, or 0 when none came in time.
    std::size_t SendWait(const uint8_t* tag, uint8_t letter, const uint8_t* request, std::size_t requestLength,
                         uint8_t* reply, std::size_t replyCapacity);
    // Unsigned request with its attempts; returns the reply's payload length (may exceed
    // maxReply, only maxReply bytes are copied), or 0 when no valid reply came.
    std::size_t Exchange(char cmd, const uint8_t* payload, std::size_t length, std::size_t maxReply, uint8_t* dest);
    void ExchangeAck(char cmd, const uint8_t* payload, std::size_t length);   // UErr kind 7

    // Status.
    bool PollStatus();
    std::string ModeName() const;   // "Blokada" ... or "Niedostępny" (cp1250)
    std::string IpText() const;     // "%d.%d.%d.%d"
    std::string ListLine() const;   // " %s,  %s,  %s"

    // Session.
    void OpenSession();             // UErr kind 3
    void EnsureSession();           // UErr kinds 1, 2, 3
    std::size_t SignedExchange(char cmd, const uint8_t* payload, std::size_t length, std::size_t maxReply,
                               uint8_t* dest);                                // kinds 4, 5, 6
    void SignedExchangeAck(char cmd, const uint8_t* payload, std::size_t length);   // + kind 7
    void KeepAlive();
    void CloseSession();

    // Commands.
    std::size_t ReadDevices(Block& dest);                   // 0 without sending unless mode 2 or 3
    bool TryReadDevices(Block& dest, std::size_t& length);  // quiet read of the device list
    std::size_t ReadBlock(uint8_t kind, uint8_t index, Block& dest);
    // Throws std::length_error without sending for a block longer than 1398 bytes.
    void WriteBlock(uint8_t kind, uint8_t index, std::size_t length, const uint8_t* block);
    void DeleteInactive();
    void ReplaceDevice(uint16_t pair);
};

// The link's exception: {controller, kind 1-8, command letter or 0}. Text() reads the controller's
// current state, so it is composed when the error is caught, with the record alive.
class UErr : public std::exception {
public:
    UErr(const UdpDev& dev, int kind, char cmd) : dev(&dev), kind(kind), cmd(cmd) {}

    std::string Text() const;   // cp1250
    const char* what() const noexcept override { return "UErr"; }

    const UdpDev* dev;
    int kind;
    char cmd;
};

// The description of an error kind (cp1250); "Brak opisu błędu." outside 1-8.
const char* UErrKindText(int kind);

// The controllers found on the network, ordered by the low 26 bits of their identifiers. The set
// only grows, up to 100.
class UdpDevSet {
public:
    static constexpr int kCapacity = 100;

    UdpDevSet() = default;
    // Closes every session this program holds (a status poll, then s). Failures are swallowed:
    // nothing escapes the destruction of the records.
    ~UdpDevSet();
    UdpDevSet(const UdpDevSet&) = delete;
    UdpDevSet& operator=(const UdpDevSet&) = delete;

    // Up to three passes; each sends the search to 255.255.255.255 and to the directed broadcast
    // address of every network card, sweeps the target ranges by unicast, then collects.
    void Search();
    bool Collect(int timeoutMs);
    bool AddOrUpdate(uint32_t id, uint32_t ip, uint8_t status);
    // Closes all sessions now (what the destructor does); the first error is rethrown after every
    // record has been tried.
    void CloseAll();

    UdpDev& operator[](int i) { return devices_[static_cast<std::size_t>(i)]; }
    const UdpDev& operator[](int i) const { return devices_[static_cast<std::size_t>(i)]; }
    // The selected record, or nullptr while selected is outside 0..count-1.
    UdpDev* Selected();
    const UdpDev* Selected() const;

    int count = 0;
    int selected = -1;
    // Collect sends the time frame to every newly found or changed controller. The window keeps
    // it; a command-line scan clears it, since a scan must change nothing on a controller.
    bool sendTimeFrames = true;

    // Address ranges that every pass of the search also asks by unicast (--target).
    std::vector<TargetRange> targets = SearchTargets();

    // The sweep sends kSweepBurst requests every kSweepTickMs and takes in the replies between
    // bursts, so a /24 (254 addresses) is asked within 150 ms, inside one pass's 200 ms wait.
    static constexpr std::size_t kSweepBurst = 16;
    static constexpr int kSweepTickMs = 10;

private:
    bool Sweep(const std::vector<uint32_t>& hosts, const std::vector<uint8_t>& request);

    std::array<UdpDev, kCapacity> devices_{};
};
