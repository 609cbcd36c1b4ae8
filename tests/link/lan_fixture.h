#pragma once
// A simulated LAN with one controller peer, handed to the link as its endpoint.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/endpoint.h"
#include "link/frame.h"
#include "link/udpdev.h"
#include "sim/blocks.h"
#include "sim/simlan.h"

class LanTest : public ::testing::Test {
protected:
    static constexpr uint32_t kIp = 0xC0A80114u;   // 192.168.1.20
    static constexpr uint8_t kServis = 2;
    static constexpr uint8_t kInstalacja = 3;

    LanTest() : id(MakeId(305, 42)), peer(lan.AddPeer(kIp, id, kServis)) { SetEndpoint(&lan); }
    ~LanTest() override { SetEndpoint(nullptr); }

    // The record discovery would have made for the peer.
    UdpDev Found(bool reachable = true) const
    {
        UdpDev dev;
        dev.id = id;
        dev.ip = kIp;
        dev.mode = kServis;
        dev.reachable = reachable;
        return dev;
    }

    // Datagrams the program sent, as letters: the tag letter of unsigned frames, byte 10 of signed.
    std::string SentLetters() const
    {
        std::string letters;
        for (const auto& d : lan.sent) letters += static_cast<char>(d.bytes[3] == 'C' && d.bytes.size() >= 19 ? d.bytes[10] : d.bytes[3]);
        return letters;
    }

    SimLan lan;
    uint32_t id;
    ControllerPeer& peer;
};
