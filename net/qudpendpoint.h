#pragma once
#include <QElapsedTimer>
#include <QUdpSocket>

#include "link/endpoint.h"

// The real datagram endpoint over QUdpSocket. Every call blocks (waitForReadyRead with the
// timeout), so no event loop is needed. The port is bound exclusively: a second copy of the
// program gets a clear bind error instead of silently sharing the port. Errors of the socket are
// thrown as std::runtime_error carrying the socket's own message, in UTF-8.
class QUdpEndpoint : public Endpoint {
public:
    // bindAddress: the local IPv4 address to bind (first octet most significant), 0 for any.
    explicit QUdpEndpoint(uint32_t bindAddress = 0);
    QUdpEndpoint(const QUdpEndpoint&) = delete;
    QUdpEndpoint& operator=(const QUdpEndpoint&) = delete;

    void Bind(uint16_t port) override;
    bool IsBound() const override;
    void SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length) override;
    using Endpoint::Receive;
    std::optional<std::size_t> Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs, uint32_t& fromIp,
                                       uint16_t& fromPort) override;
    int64_t NowMs() override;
    int64_t UtcSeconds() override;
    // Asks QNetworkInterface afresh on every call, so a cable plugged in after start-up counts at
    // the next search.
    std::vector<uint32_t> DirectedBroadcasts() override;

    // The port actually bound (the system's choice when Bind was given 0).
    uint16_t LocalPort() const { return socket_.localPort(); }

private:
    [[noreturn]] void Fail() const;

    uint32_t bindAddress_;
    QUdpSocket socket_;
    QElapsedTimer clock_;
};
