#include "link/udpdev.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "link/aes.h"
#include "link/cmac.h"
#include "link/devid.h"
#include "link/endpoint.h"

namespace {

constexpr int kReplyDeadlineMs = 300;
constexpr std::size_t kMaxSignedRequest = kMaxPayload + kSignedOverhead;
constexpr uint8_t kAck = 6;

// One cipher and one CMAC engine serve every controller; exchanges never overlap, so re-keying at
// the start of each signed exchange is enough.
struct LinkCrypto {
    AES128 aes;
    CMAC cmac{aes};
};

LinkCrypto& Crypto()
{
    static LinkCrypto crypto;
    return crypto;
}

using ReplyBuffer = std::array<uint8_t, kBufferSize>;

// A search datagram beside the limited broadcast (to a card's directed broadcast address, or to a
// target address). One that the system refuses (a card that went down since it was listed, an
// address with no route) is one that nobody answers: the search goes on, and a trace shows the
// refusal. Errors of the limited broadcast itself still reach the caller.
void SendBesides(Endpoint& udp, uint32_t ip, const std::vector<uint8_t>& request)
{
    try {
        udp.SendTo(ip, kUdpPort, request.data(), request.size());
    } catch (const std::runtime_error&) {
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Datagram exchange

std::size_t UdpDev::SendWait(const uint8_t* tag, uint8_t letter, const uint8_t* request, std::size_t requestLength,
                             uint8_t* reply, std::size_t replyCapacity)
{
    Endpoint& udp = UDP();
    udp.SendTo(ip, kUdpPort, request, requestLength);
    const int64_t start = udp.NowMs();
    for (;;) {
        uint32_t from = 0;
        const std::optional<std::size_t> got = udp.Receive(reply, replyCapacity, kReceiveTimeoutMs, from);
        const std::size_t n = got.value_or(0);
        if (n >= kUnsignedOverhead && std::memcmp(reply, tag, 4) == 0 && GetU32(reply + 4) == id &&
            (letter == 0 || (n >= kSignedOverhead && reply[10] == (letter | 0x80))))
            return n;
        // The deadline is examined after every datagram that does not match too, so a steady
        // stream of foreign datagrams cannot hold the wait open.
        if (udp.NowMs() - start >= kReplyDeadlineMs) return 0;
    }
}

std::size_t UdpDev::Exchange(char cmd, const uint8_t* payload, std::size_t length, std::size_t maxReply, uint8_t* dest)
{
    const std::vector<uint8_t> request = BuildUnsigned(cmd, id, std::span<const uint8_t>(payload, length));
    ReplyBuffer reply;
    const int attempts = reachable ? 3 : 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const std::size_t n = SendWait(request.data(), 0, request.data(), request.size(), reply.data(), reply.size());
        if (n == 0 || !CheckUnsigned(std::span<const uint8_t>(reply.data(), n))) continue;
        const std::size_t payloadLength = n - kUnsignedOverhead;
        if (maxReply > 0) std::memcpy(dest, reply.data() + 8, std::min(payloadLength, maxReply));
        return payloadLength;
    }
    return 0;
}

void UdpDev::ExchangeAck(char cmd, const uint8_t* payload, std::size_t length)
{
    uint8_t answer = 0;
    if (Exchange(cmd, payload, length, 1, &answer) != 1 || answer != kAck) throw UErr(*this, 7, cmd);
}

// ---------------------------------------------------------------------------------------------
// Status

bool UdpDev::PollStatus()
{
    changed = false;
    std::array<uint8_t, 16> status{};
    const std::size_t n = Exchange('O', nullptr, 0, status.size(), status.data());
    if (n != status.size() || status[3] != '1') {
        if (reachable) changed = true;
        reachable = false;
        return false;
    }
    if (!reachable) changed = true;
    reachable = true;
    if (mode != status[2]) {
        changed = true;
        mode = status[2];
    }
    // Bit 7 clear: the controller holds no session, so any session we believed we had is gone.
    if (!(mode & 0x80)) hasSession = false;
    return true;
}

const char* ModeName(uint8_t status)
{
    static constexpr const char* kNames[] = {"Blokada", "Konfiguracja", "Serwis", "Instalacja"};
    return kNames[status & 3];
}

std::string UdpDev::ModeName() const
{
    return reachable ? ::ModeName(static_cast<uint8_t>(mode)) : "Niedost\xEApny";   // "Niedostępny"
}

std::string UdpDev::IpText() const { return ::IpText(ip); }

std::string UdpDev::ListLine() const { return " " + DevName(id) + ",  " + IpText() + ",  " + ModeName(); }

// ---------------------------------------------------------------------------------------------
// Session

void UdpDev::OpenSession()
{
    if (Exchange('K', nullptr, 0, sessionKey.size(), sessionKey.data()) != sessionKey.size()) {
        sessionKey.fill(0);
        throw UErr(*this, 3, 0);
    }
    MakeSessionKey(Crypto().aes, sessionKey);
    hasSession = true;
    seq = 0;
}

void UdpDev::EnsureSession()
{
    if (!PollStatus()) throw UErr(*this, 1, 0);
    if (ForeignSession()) throw UErr(*this, 2, 0);
    if (!hasSession) OpenSession();
}

std::size_t UdpDev::SignedExchange(char cmd, const uint8_t* payload, std::size_t length, std::size_t maxReply,
                                   uint8_t* dest)
{
    if (length > kMaxPayload) throw std::length_error("signed request longer than 1400 bytes");
    LinkCrypto& crypto = Crypto();
    crypto.aes.SetKey(sessionKey.data());

    std::array<uint8_t, kMaxSignedRequest> request{};
    const std::size_t requestLength = length + kSignedOverhead;
    const std::size_t body = requestLength - kCodeLength;
    std::memcpy(request.data(), "MMDC", 4);
    PutU32(&request[4], id);
    request[10] = static_cast<uint8_t>(cmd);
    if (length) std::memcpy(&request[11], payload, length);

    ReplyBuffer reply;
    const int attempts = (reachable && hasSession) ? 3 : 1;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // Every datagram, a retransmission too, carries a fresh counter and its own code.
        ++seq;
        PutU16(&request[8], seq);
        const auto code = FrameCode(crypto.cmac, std::span<const uint8_t>(request.data(), body));
        std::memcpy(&request[body], code.data(), kCodeLength);

        const std::size_t n = SendWait(request.data(), static_cast<uint8_t>(cmd), request.data(), requestLength,
                                       reply.data(), reply.size());
        if (n < kSignedOverhead) continue;
        if (!CheckSignedCode(crypto.cmac, std::span<const uint8_t>(reply.data(), n))) throw UErr(*this, 4, cmd);
        const std::size_t payloadLength = n - kSignedOverhead;
        if (maxReply > 0) std::memcpy(dest, reply.data() + 11, std::min(payloadLength, maxReply));
        if (payloadLength > maxReply) throw UErr(*this, 5, cmd);
        return payloadLength;
    }
    throw UErr(*this, 6, cmd);
}

void UdpDev::SignedExchangeAck(char cmd, const uint8_t* payload, std::size_t length)
{
    uint8_t answer = 0;
    if (SignedExchange(cmd, payload, length, 1, &answer) != 1 || answer != kAck) throw UErr(*this, 7, cmd);
}

void UdpDev::KeepAlive()
{
    if (!reachable || !hasSession) return;
    if (PollStatus() && hasSession) SignedExchangeAck('S', nullptr, 0);
}

void UdpDev::CloseSession()
{
    if (!reachable || !hasSession) return;
    if (!PollStatus()) return;   // a failed poll leaves the session as it was
    if (hasSession) {
        try {
            SignedExchangeAck('s', nullptr, 0);
        } catch (...) {
            // The session is given up whether or not the controller acknowledges the close.
            hasSession = false;
            throw;
        }
    }
    hasSession = false;
}

// ---------------------------------------------------------------------------------------------
// Commands

std::size_t UdpDev::ReadDevices(Block& dest)
{
    if (!reachable || ModeIndex() < 2) return 0;
    EnsureSession();
    return SignedExchange('D', nullptr, 0, dest.size(), dest.data());
}

bool UdpDev::TryReadDevices(Block& dest, std::size_t& length)
{
    length = 0;
    if (!reachable || ModeIndex() < 2 || ForeignSession()) return false;
    // No poll here: the caller has just polled.
    if (!hasSession) OpenSession();
    length = SignedExchange('D', nullptr, 0, dest.size(), dest.data());
    return length > 0;
}

std::size_t UdpDev::ReadBlock(uint8_t kind, uint8_t index, Block& dest)
{
    const uint8_t payload[2] = {kind, index};
    return SignedExchange('C', payload, sizeof payload, dest.size(), dest.data());
}

void UdpDev::WriteBlock(uint8_t kind, uint8_t index, std::size_t length, const uint8_t* block)
{
    if (length > kMaxWriteBlock) throw std::length_error("configuration block longer than 1398 bytes");
    std::array<uint8_t, kMaxPayload> payload{};
    payload[0] = kind;
    payload[1] = index;
    if (length) std::memcpy(&payload[2], block, length);
    SignedExchangeAck('c', payload.data(), length + 2);
}

void UdpDev::DeleteInactive()
{
    EnsureSession();
    SignedExchangeAck('F', nullptr, 0);
}

void UdpDev::ReplaceDevice(uint16_t pair)
{
    EnsureSession();
    uint8_t payload[2];
    PutU16(payload, pair);   // the inactive device's index, then its replacement's
    SignedExchangeAck('R', payload, sizeof payload);
}

// ---------------------------------------------------------------------------------------------
// Errors

const char* UErrKindText(int kind)
{
    // cp1250 text; the readable form stands beside each.
    switch (kind) {
    case 1: return "Urz\xB9" "dzenie nie odpowiada.";   // "Urządzenie nie odpowiada."
    case 2:
        // "Kontroler ma obcą sesję.\n\nMożliwe przyczyny:\n - kontroler połączony z inną kopią programu,\n
        //  - kontroler pamięta sesję z poprzednim wywołaniem programu.\nW tym drugim przypadku należy
        // poczekać około 30s."
        return "Kontroler ma obc\xB9 sesj\xEA.\n\nMo\xBFliwe przyczyny:\n"
               " - kontroler po\xB3\xB9" "czony z inn\xB9 kopi\xB9 programu,\n"
               " - kontroler pami\xEAta sesj\xEA z poprzednim wywo\xB3" "aniem programu.\n"
               "W tym drugim przypadku nale\xBFy poczeka\xE6 oko\xB3o 30s.";
    case 3: return "Odmowa nawi\xB9zania sesji.";                      // "Odmowa nawiązania sesji."
    case 4: return "B\xB3\xB9" "d podpisu ramki.";                     // "Błąd podpisu ramki."
    case 5: return "Odpowied\x9F d\xB3u\xBFsza od oczekiwanej.";       // "Odpowiedź dłuższa od oczekiwanej."
    case 6: return "Brak odpowiedzi na rozkaz.";
    case 7: return "Brak potwierdzenia wys\xB3" "anego rozkazu.";      // "Brak potwierdzenia wysłanego rozkazu."
    case 8:
        // "Kontroler nie pozwala odczytać ustawień przejść.\nUstaw go w tryb 'Service'"
        return "Kontroler nie pozwala odczyta\xE6 ustawie\xF1 przej\x9C\xE6.\nUstaw go w tryb 'Service'";
    default: return "Brak opisu b\xB3\xEA" "du.";                      // "Brak opisu błędu."
    }
}

std::string UErr::Text() const
{
    std::string text = DevName(dev->id) + ", tryb: " + dev->ModeName() + ".\n\nB\xB3\xB9" "d nr " + std::to_string(kind);
    if (cmd != 0) text += std::string(" (r.'") + cmd + "')";
    text += ": ";
    text += UErrKindText(kind);
    text += '\n';
    return text;
}

// ---------------------------------------------------------------------------------------------
// The controller set

UdpDevSet::~UdpDevSet()
{
    try {
        CloseAll();
    } catch (...) {
        // A controller that does not acknowledge the close at shutdown: nothing is left to do.
    }
}

void UdpDevSet::CloseAll()
{
    std::exception_ptr first;
    for (auto& dev : devices_) {
        try {
            dev.CloseSession();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

UdpDev* UdpDevSet::Selected()
{
    return (selected >= 0 && selected < count) ? &devices_[static_cast<std::size_t>(selected)] : nullptr;
}

const UdpDev* UdpDevSet::Selected() const
{
    return (selected >= 0 && selected < count) ? &devices_[static_cast<std::size_t>(selected)] : nullptr;
}

void UdpDevSet::Search()
{
    const std::vector<uint8_t> request = BuildUnsigned('O', kAllDevices, {});
    Endpoint& udp = UDP();
    // 255.255.255.255 leaves through the one interface that the routing table picks; a directed
    // broadcast reaches the segment of its own network card. A controller that hears several
    // copies answers each, and the collection keeps one record and sends one time frame.
    std::vector<uint32_t> directed;   // in the order of the cards, each address once
    for (const uint32_t ip : udp.DirectedBroadcasts())
        if (ip != kBroadcastIp && std::find(directed.begin(), directed.end(), ip) == directed.end()) directed.push_back(ip);
    const std::vector<uint32_t> hosts = TargetHosts(targets);
    for (int pass = 0; pass < 3; ++pass) {
        udp.SendTo(kBroadcastIp, kUdpPort, request.data(), request.size());
        for (const uint32_t ip : directed) SendBesides(udp, ip, request);
        const bool swept = Sweep(hosts, request);
        if (Collect(kReceiveTimeoutMs) || swept) return;
    }
}

bool UdpDevSet::Sweep(const std::vector<uint32_t>& hosts, const std::vector<uint8_t>& request)
{
    Endpoint& udp = UDP();
    const int64_t start = udp.NowMs();
    bool setChanged = false;
    std::size_t next = 0;
    for (int64_t burst = 0; next < hosts.size(); ++burst) {
        // Bursts keep to their schedule: replies that keep a collection busy past a tick make
        // the next wait shorter, not the sweep longer.
        if (burst > 0) {
            const int64_t wait = start + burst * kSweepTickMs - udp.NowMs();
            if (Collect(static_cast<int>(std::max<int64_t>(wait, 0)))) setChanged = true;
        }
        for (const std::size_t end = std::min(next + kSweepBurst, hosts.size()); next < end; ++next) {
            SendBesides(udp, hosts[next], request);
        }
    }
    return setChanged;
}

bool UdpDevSet::Collect(int timeoutMs)
{
    // A flood of datagrams must not keep the collection going for ever: it ends after a bounded
    // number of datagrams or once its time is well past the wait it was given.
    constexpr int kMaxDatagrams = 4096;
    constexpr int kGraceMs = 300;
    Endpoint& udp = UDP();
    const int64_t start = udp.NowMs();
    ReplyBuffer buffer;
    bool setChanged = false;
    for (int taken = 0; taken < kMaxDatagrams; ++taken) {
        uint32_t from = 0;
        // Only a receive that found nothing ends the collection; an empty datagram is dropped
        // like any other that is not a reply.
        const std::optional<std::size_t> n = udp.Receive(buffer.data(), buffer.size(), timeoutMs, from);
        if (!n) break;
        uint32_t devId = 0;
        uint8_t status = 0;
        if (ParseDiscoveryReply(std::span<const uint8_t>(buffer.data(), *n), devId, status) &&
            AddOrUpdate(devId, from, status)) {
            setChanged = true;
            if (sendTimeFrames) {
                // The time frame goes to the sender's address on the controllers' port.
                uint8_t seconds[4];
                PutU32(seconds, static_cast<uint32_t>(udp.UtcSeconds()));
                const std::vector<uint8_t> time = BuildUnsigned('T', devId, seconds);
                udp.SendTo(from, kUdpPort, time.data(), time.size());
            }
        }
        if (udp.NowMs() - start > timeoutMs + kGraceMs) break;
    }
    return setChanged;
}

bool UdpDevSet::AddOrUpdate(uint32_t devId, uint32_t address, uint8_t status)
{
    UdpDev fresh;
    fresh.id = devId;
    fresh.ip = address;
    fresh.mode = status;
    fresh.reachable = true;
    for (int i = 0; i < count; ++i) {
        UdpDev& slot = (*this)[i];
        if (slot.id == devId) {
            bool updated = false;
            if (slot.mode != status) {
                slot.mode = status;
                updated = true;
            }
            if (slot.ip != address) {
                slot.ip = address;
                updated = true;
            }
            return updated;
        }
        if (SortKey(slot.id) > SortKey(devId) && count < kCapacity) {
            for (int j = count; j > i; --j) (*this)[j] = (*this)[j - 1];
            (*this)[i] = fresh;
            if (i <= selected) ++selected;
            ++count;
            return true;
        }
    }
    if (count < kCapacity) {
        (*this)[count] = fresh;
        ++count;
        return true;
    }
    return false;
}
