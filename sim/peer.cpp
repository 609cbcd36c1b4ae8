#include "sim/peer.h"

#include <algorithm>
#include <cstring>

#include "link/devid.h"
#include "link/frame.h"
#include "sim/blocks.h"

namespace {

// SplitMix64: a small, well-mixed generator, enough for deterministic key material.
uint64_t SplitMix64(uint64_t& state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool IsAbsent(uint32_t deviceId) { return (deviceId >> 16) == 0xFFFFu; }

} // namespace

ControllerPeer::ControllerPeer(uint32_t deviceId, uint8_t statusByte)
    : id(deviceId), status(statusByte), keySeed_(0x4F4C4D0000000000ull ^ deviceId)
{
}

void ControllerPeer::Expire(int64_t nowMs)
{
    if (session_ && nowMs - lastTraffic_ >= kSessionIdleMs) session_ = false;
}

bool ControllerPeer::HasSession(int64_t nowMs)
{
    Expire(nowMs);
    return session_;
}

uint8_t ControllerPeer::StatusByte(int64_t nowMs)
{
    const bool held = HasSession(nowMs) || faults.foreignSession;
    return static_cast<uint8_t>((status & 0x7F) | (held ? 0x80 : 0));
}

std::vector<PeerReply> ControllerPeer::Handle(std::span<const uint8_t> request, int64_t nowMs)
{
    Expire(nowMs);
    if (request.size() < kUnsignedOverhead || std::memcmp(request.data(), "MMD", 3) != 0) return {};
    PeerRequest req;
    req.atMs = nowMs;
    req.id = GetU32(&request[4]);

    // Every signed frame carries the tag "MMDC"; the command letter stands at byte 10.
    if (request[3] == 'C') {
        if (request.size() < kSignedOverhead || req.id != id) return {};
        req.isSigned = true;
        req.counter = GetU16(&request[8]);
        req.letter = static_cast<char>(request[10]);
        req.payload.assign(request.begin() + 11, request.end() - kCodeLength);
        // The cipher stays keyed with the session key from the moment the session opens.
        req.codeOk = session_ && !faults.foreignSession && CheckSignedCode(cmac_, request);
        log.push_back(req);
        if (!req.codeOk || faults.silent) return {};
        lastTraffic_ = nowMs;
        return ServeSigned(req);
    }

    if (!CheckUnsigned(request)) return {};
    req.letter = static_cast<char>(request[3]);
    if (req.id != id && !(req.id == kAllDevices && req.letter == 'O')) return {};
    req.payload.assign(request.begin() + 8, request.end() - 4);
    log.push_back(req);
    if (faults.silent) return {};
    return ServeUnsigned(req);
}

std::vector<PeerReply> ControllerPeer::ServeUnsigned(PeerRequest& req)
{
    switch (req.letter) {
    case 'O': {
        // Bytes 0-1 and 4-15 are not interpreted by the program: a firmware version and zeros.
        std::vector<uint8_t> payload(16, 0);
        payload[0] = 1;
        payload[1] = 3;
        payload[2] = StatusByte(req.atMs);
        payload[3] = faults.statusNotOne ? '0' : '1';
        return Reply(req, std::move(payload));
    }
    case 'K': {
        if (faults.foreignSession) return Reply(req, {});   // refused: no key material
        const std::array<uint8_t, 16> material = NextMaterial();
        const std::size_t length = static_cast<std::size_t>(std::clamp(faults.keyLength, 0, int(kMaxPayload)));
        std::vector<uint8_t> payload(length, 0xA5);
        std::copy_n(material.begin(), std::min<std::size_t>(length, material.size()), payload.begin());
        if (length == material.size()) {
            GrantSession(material);
            lastTraffic_ = req.atMs;
        }
        return Reply(req, std::move(payload));
    }
    case 'T':
        if (req.payload.size() == 4) lastTime = GetU32(req.payload.data());
        return {};
    default:
        return {};
    }
}

std::vector<PeerReply> ControllerPeer::ServeSigned(PeerRequest& req)
{
    const bool configMode = (status & 3) >= 2;
    const std::vector<uint8_t>& p = req.payload;
    switch (req.letter) {
    case 'D':
        if (!configMode) return {};
        return Reply(req, deviceList);
    case 'C':
        if (!configMode) return {};
        if (p.size() >= 2 && p[1] < blocks.size()) return Reply(req, blocks[p[1]]);
        return Reply(req, {});
    case 'c':
        if (p.size() >= 2 && p[1] == faults.noAckBlock) return Reply(req, {kNak});
        StoreBlock(p);
        return Reply(req, {kAck});
    case 'F':
        DeleteInactive();
        return Reply(req, {kAck});
    case 'R':
        if (p.size() == 2) Replace(p[0], p[1]);
        return Reply(req, {kAck});
    case 'S':
        return Reply(req, {kAck});
    case 's': {
        // The acknowledgement is still signed with the session key; the session ends after it.
        std::vector<PeerReply> replies = Reply(req, {kAck});
        session_ = false;
        return replies;
    }
    default:
        return {};
    }
}

std::vector<PeerReply> ControllerPeer::Reply(const PeerRequest& req, std::vector<uint8_t> payload)
{
    if (faults.dropReplies > 0) {
        --faults.dropReplies;
        return {};
    }
    uint32_t replyId = id;   // also the answer to the search, which names every controller
    if (faults.foreignId > 0) {
        --faults.foreignId;
        replyId = id ^ 1u;
    }
    uint8_t letter = static_cast<uint8_t>(req.letter);
    if (faults.wrongLetter > 0) {
        --faults.wrongLetter;
        letter ^= 0x20;   // the same letter in the other case: another command
    }
    std::vector<uint8_t> frame;
    if (req.isSigned) {
        if (faults.extraPayload > 0) {
            payload.resize(payload.size() + static_cast<std::size_t>(faults.extraPayload), 0xEE);
            faults.extraPayload = 0;
        }
        frame = BuildSigned(cmac_, replyId, req.counter, static_cast<uint8_t>(letter | 0x80), payload);
        if (faults.badCode > 0) {
            --faults.badCode;
            frame.back() ^= 0xFF;
        }
    } else {
        frame = BuildUnsigned(static_cast<char>(letter), replyId, payload);
        if (faults.badCrc > 0) {
            --faults.badCrc;
            frame.back() ^= 0xFF;
        }
    }
    if (mutateReply) mutateReply(req, frame);
    PeerReply reply{std::move(frame), faults.lateMs};
    std::vector<PeerReply> replies{reply};
    if (faults.duplicate) replies.push_back(std::move(reply));
    return replies;
}

std::array<uint8_t, 16> ControllerPeer::NextMaterial()
{
    std::array<uint8_t, 16> material{};
    for (int half = 0; half < 2; ++half) {
        const uint64_t r = SplitMix64(keySeed_);
        for (int i = 0; i < 8; ++i) material[static_cast<std::size_t>(half * 8 + i)] = static_cast<uint8_t>(r >> (8 * i));
    }
    return material;
}

void ControllerPeer::GrantSession(std::span<const uint8_t> material)
{
    // key = AES-128(material, material): the material encrypted as one block under itself.
    std::copy(material.begin(), material.end(), key_.begin());
    aes_.SetKey(material.data());
    aes_.Encrypt(key_.data());
    aes_.SetKey(key_.data());
    session_ = true;
}

void ControllerPeer::StoreBlock(std::span<const uint8_t> payload)
{
    if (payload.size() != 2 + kRecordLength) return;
    const uint8_t kind = payload[0];
    const uint8_t index = payload[1];
    if (index >= blocks.size()) return;
    std::vector<uint8_t>& block = blocks[index];
    std::vector<uint8_t> stored = block.size() >= kBlockHeader
                                      ? std::vector<uint8_t>(block.begin(), block.begin() + kBlockHeader)
                                      : BlockHeader(kind);
    stored.insert(stored.end(), payload.begin() + 2, payload.end());
    block = std::move(stored);
}

namespace {
// Number of whole records that the list holds (its count, bounded by its length).
std::size_t RecordCount(const std::vector<uint8_t>& list)
{
    if (list.size() < kListHeader) return 0;
    return std::min<std::size_t>(GetU16(list.data()), (list.size() - kListHeader) / kListRecord);
}
} // namespace

void ControllerPeer::DeleteInactive()
{
    const std::size_t count = RecordCount(deviceList);
    if (deviceList.size() < kListHeader) return;
    std::vector<uint8_t> kept(deviceList.begin(), deviceList.begin() + kListHeader);
    std::vector<int> map(count, -1);
    int next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const uint8_t* rec = &deviceList[kListHeader + i * kListRecord];
        if (!IsAbsent(GetU32(rec)) && (rec[5] & 0x80)) continue;
        map[i] = next++;
        kept.insert(kept.end(), rec, rec + kListRecord);
    }
    PutU16(kept.data(), static_cast<uint16_t>(next));
    deviceList = std::move(kept);
    RemapBlocks(map);
}

void ControllerPeer::Replace(uint8_t oldIndex, uint8_t newIndex)
{
    const std::size_t count = RecordCount(deviceList);
    if (oldIndex >= count || newIndex >= count || oldIndex == newIndex) return;
    uint8_t* oldRec = &deviceList[kListHeader + oldIndex * kListRecord];
    uint8_t* newRec = &deviceList[kListHeader + newIndex * kListRecord];
    const uint32_t oldId = GetU32(oldRec);
    const uint32_t newId = GetU32(newRec);
    if (IsAbsent(oldId) || IsAbsent(newId)) return;
    if (!(oldRec[5] & 0x80) || !(newRec[5] & 0x10) || TypeCode(oldId) != TypeCode(newId)) return;

    std::memcpy(oldRec, newRec, kListRecord);
    oldRec[5] = static_cast<uint8_t>(oldRec[5] & ~0x90);
    PutU32(newRec, kAbsentId);
    std::memset(newRec + 4, 0, kListRecord - 4);

    std::vector<int> map(count);
    for (std::size_t i = 0; i < count; ++i) map[i] = static_cast<int>(i);
    map[newIndex] = -1;
    RemapBlocks(map);
}

void ControllerPeer::RemapBlocks(const std::vector<int>& map)
{
    for (std::vector<uint8_t>& block : blocks) {
        if (block.size() < kParamOffset) continue;
        for (int slot = 0; slot < kResourceSlots; ++slot) {
            const uint16_t res = BlockSlot(block, slot);
            const std::size_t device = res >> 8;
            if (res == kNoResource || device >= map.size()) continue;
            const int moved = map[device];
            SetBlockSlot(block, slot, moved < 0 ? kNoResource : static_cast<uint16_t>((moved << 8) | (res & 0xFF)));
        }
    }
}
