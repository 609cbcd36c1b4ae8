#include "net/qudpendpoint.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkInterface>
#include <algorithm>
#include <limits>
#include <stdexcept>

QUdpEndpoint::QUdpEndpoint(uint32_t bindAddress) : bindAddress_(bindAddress) { clock_.start(); }

void QUdpEndpoint::Fail() const { throw std::runtime_error(socket_.errorString().toStdString()); }

void QUdpEndpoint::Bind(uint16_t port)
{
    // An IPv4 socket: the controllers speak IPv4 only, and senders then come as plain IPv4
    // addresses. Qt enables broadcast on every UDP socket it creates.
    const QHostAddress address = bindAddress_ ? QHostAddress(bindAddress_) : QHostAddress(QHostAddress::AnyIPv4);
    if (!socket_.bind(address, port, QAbstractSocket::DontShareAddress)) Fail();
}

bool QUdpEndpoint::IsBound() const { return socket_.state() == QAbstractSocket::BoundState; }

void QUdpEndpoint::SendTo(uint32_t ip, uint16_t port, const uint8_t* data, std::size_t length)
{
    const qint64 written =
        socket_.writeDatagram(reinterpret_cast<const char*>(data), static_cast<qint64>(length), QHostAddress(ip), port);
    if (written < 0) Fail();
}

std::optional<std::size_t> QUdpEndpoint::Receive(uint8_t* buffer, std::size_t capacity, int timeoutMs,
                                                 uint32_t& fromIp, uint16_t& fromPort)
{
    if (!IsBound()) throw std::logic_error("receive on an unbound UDP endpoint");
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    for (;;) {
        // Only a datagram that is really there counts: readiness alone may be a socket event
        // that carries no data.
        if (socket_.hasPendingDatagrams()) {
            QHostAddress from;
            quint16 port = 0;
            const auto limit = static_cast<qint64>(std::min<std::size_t>(capacity, std::numeric_limits<int>::max()));
            const qint64 n = socket_.readDatagram(reinterpret_cast<char*>(buffer), limit, &from, &port);
            if (n < 0) Fail();
            fromIp = from.toIPv4Address();
            fromPort = port;
            return static_cast<std::size_t>(n);
        }
        const bool ready = socket_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        if (!ready && socket_.error() != QAbstractSocket::SocketTimeoutError) Fail();
        if (!socket_.hasPendingDatagrams() && (!ready || deadline.hasExpired())) return std::nullopt;
    }
}

int64_t QUdpEndpoint::NowMs() { return clock_.elapsed(); }

int64_t QUdpEndpoint::UtcSeconds() { return QDateTime::currentSecsSinceEpoch(); }

std::vector<uint32_t> QUdpEndpoint::DirectedBroadcasts()
{
    std::vector<uint32_t> addresses;
    for (const QNetworkInterface& card : QNetworkInterface::allInterfaces()) {
        const auto flags = card.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) || flags.testFlag(QNetworkInterface::IsLoopBack)) continue;
        for (const QNetworkAddressEntry& entry : card.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
            const QHostAddress broadcast = entry.broadcast();
            if (broadcast.isNull() || broadcast.protocol() != QAbstractSocket::IPv4Protocol) continue;
            addresses.push_back(broadcast.toIPv4Address());
        }
    }
    return addresses;
}
