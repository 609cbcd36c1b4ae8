#pragma once
// The program's side of the conversation, written out from the frame functions, so that the peer
// can be tested without UdpDev.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "link/aes.h"
#include "link/cmac.h"
#include "link/frame.h"
#include "sim/blocks.h"
#include "sim/simlan.h"

struct PeerClient {
    PeerClient(SimLan& lan, uint32_t ip, uint32_t id) : lan(lan), ip(ip), id(id) {}

    void Send(const std::vector<uint8_t>& frame) { lan.SendTo(ip, kUdpPort, frame.data(), frame.size()); }

    // The next datagram within the program's 300 ms wait, or nothing.
    std::optional<std::vector<uint8_t>> Next(int timeoutMs = 300)
    {
        std::vector<uint8_t> buffer(kBufferSize);
        uint32_t from = 0;
        const std::optional<std::size_t> n = lan.Receive(buffer.data(), buffer.size(), timeoutMs, from);
        if (!n) return std::nullopt;
        buffer.resize(*n);
        return buffer;
    }

    std::optional<std::vector<uint8_t>> Unsigned(char letter, std::vector<uint8_t> payload = {})
    {
        Send(BuildUnsigned(letter, id, payload));
        return Next();
    }

    // Payload of a 28-byte status reply.
    std::vector<uint8_t> Status()
    {
        auto reply = Unsigned('O');
        EXPECT_TRUE(reply && reply->size() == kStatusReplyLength && CheckUnsigned(*reply));
        if (!reply || reply->size() != kStatusReplyLength) return {};
        return {reply->begin() + 8, reply->end() - 4};
    }

    // K, then the session key made as the program makes it: AES-128(material, material).
    std::array<uint8_t, 16> OpenSession()
    {
        auto reply = Unsigned('K');
        std::array<uint8_t, 16> material{};
        EXPECT_TRUE(reply && reply->size() == 16 + kUnsignedOverhead && CheckUnsigned(*reply));
        if (!reply || reply->size() != 16 + kUnsignedOverhead) return material;
        std::memcpy(material.data(), reply->data() + 8, 16);
        UseKey(material);
        aes.Encrypt(key.data());
        aes.SetKey(key.data());
        counter = 0;
        return material;
    }
    void UseKey(const std::array<uint8_t, 16>& k)
    {
        key = k;
        aes.SetKey(key.data());
    }

    std::vector<uint8_t> SignedFrame(char letter, const std::vector<uint8_t>& payload = {})
    {
        return BuildSigned(cmac, id, ++counter, static_cast<uint8_t>(letter), payload);
    }
    std::optional<std::vector<uint8_t>> Signed(char letter, std::vector<uint8_t> payload = {})
    {
        Send(SignedFrame(letter, payload));
        return Next();
    }
    // The payload of a signed reply whose code, letter and identifier are right; nothing otherwise.
    std::optional<std::vector<uint8_t>> SignedPayload(char letter, std::vector<uint8_t> payload = {})
    {
        auto reply = Signed(letter, std::move(payload));
        if (!reply || !CheckSignedCode(cmac, *reply) || std::memcmp(reply->data(), "MMDC", 4) != 0 ||
            GetU32(reply->data() + 4) != id || (*reply)[10] != (static_cast<uint8_t>(letter) | 0x80))
            return std::nullopt;
        return std::vector<uint8_t>(reply->begin() + 11, reply->end() - kCodeLength);
    }

    SimLan& lan;
    uint32_t ip;
    uint32_t id;
    AES128 aes;
    CMAC cmac{aes};
    std::array<uint8_t, 16> key{};
    uint16_t counter = 0;
};

inline const std::vector<uint8_t> kAckPayload{6};
inline const std::vector<uint8_t> kNakPayload{0x15};
