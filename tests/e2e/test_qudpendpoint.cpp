// The QUdpSocket endpoint on the loopback interface: datagrams, senders, timeouts, the bind error.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "net/qudpendpoint.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001u;

std::vector<uint8_t> Pattern(std::size_t length, uint8_t first)
{
    std::vector<uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

TEST(QUdpEndpoint, DatagramsArriveWithTheirSender)
{
    QUdpEndpoint a(kLoopback);
    QUdpEndpoint b(kLoopback);
    a.Bind(0);
    b.Bind(0);
    ASSERT_TRUE(a.IsBound());
    const auto first = Pattern(28, 1);
    const auto second = Pattern(100, 50);
    const auto third = Pattern(12, 9);
    for (const auto* d : {&first, &second, &third}) a.SendTo(kLoopback, b.LocalPort(), d->data(), d->size());

    std::vector<uint8_t> buffer(64, 0);
    uint32_t from = 0;
    uint16_t port = 0;
    ASSERT_EQ(b.Receive(buffer.data(), buffer.size(), 1000, from, port), first.size());
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 28), first);
    EXPECT_EQ(from, kLoopback);
    EXPECT_EQ(port, a.LocalPort());
    // A datagram longer than the buffer is cut to it; the rest of it is gone, not read next.
    ASSERT_EQ(b.Receive(buffer.data(), 40, 1000, from), 40u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 40), Pattern(40, 50));
    ASSERT_EQ(b.Receive(buffer.data(), buffer.size(), 0, from), third.size());
    EXPECT_EQ(buffer[0], 9);
}

TEST(QUdpEndpoint, AnEmptyDatagramIsToldApartFromNothing)
{
    QUdpEndpoint a(kLoopback);
    QUdpEndpoint b(kLoopback);
    a.Bind(0);
    b.Bind(0);
    const auto after = Pattern(12, 3);
    a.SendTo(kLoopback, b.LocalPort(), nullptr, 0);
    a.SendTo(kLoopback, b.LocalPort(), after.data(), after.size());
    std::vector<uint8_t> buffer(64, 0);
    uint32_t from = 0;
    EXPECT_EQ(b.Receive(buffer.data(), buffer.size(), 1000, from), std::optional<std::size_t>(0));
    EXPECT_EQ(from, kLoopback);
    EXPECT_EQ(b.Receive(buffer.data(), buffer.size(), 1000, from), after.size());
    EXPECT_EQ(b.Receive(buffer.data(), buffer.size(), 0, from), std::nullopt);
}

TEST(QUdpEndpoint, EmptyReceiveWaitsItsTimeout)
{
    QUdpEndpoint a(kLoopback);
    a.Bind(0);
    std::vector<uint8_t> buffer(16);
    uint32_t from = 0;
    const int64_t start = a.NowMs();
    EXPECT_EQ(a.Receive(buffer.data(), buffer.size(), 0, from), std::nullopt);
    EXPECT_EQ(a.Receive(buffer.data(), buffer.size(), 120, from), std::nullopt);
    const int64_t waited = a.NowMs() - start;
    EXPECT_GE(waited, 110);
    EXPECT_LT(waited, 5000);
    EXPECT_NEAR(static_cast<double>(a.UtcSeconds()), static_cast<double>(std::time(nullptr)), 2.0);
}

TEST(QUdpEndpoint, SecondBindOfAPortFailsWithTheSystemMessage)
{
    QUdpEndpoint first(kLoopback);
    first.Bind(0);
    QUdpEndpoint second(kLoopback);
    try {
        second.Bind(first.LocalPort());
        FAIL() << "the port was shared";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("in use"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(second.IsBound());
}

TEST(QUdpEndpoint, ReceiveNeedsABoundSocket)
{
    QUdpEndpoint a(kLoopback);
    std::vector<uint8_t> buffer(16);
    uint32_t from = 0;
    EXPECT_THROW(a.Receive(buffer.data(), buffer.size(), 0, from), std::logic_error);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
