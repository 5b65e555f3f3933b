#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QTcpSocket>
#include <chrono>
#include <cstdint>

#include "host/host_transport.h"

namespace tavorline {

// The host connection on QTcpSocket, or QSslSocket for TLS.
//
// Everything the socket reports is handed to the engine from the event loop,
// never from inside connect() or write(): Qt's blocking waits read the socket
// too, and the engine must not see a host block in the middle of its own write.
// A socket that is let go is disconnected from this object at once and deleted
// later, so a close() from inside onReceived is always safe.
class QtHostTransport : public QObject, public HostTransport {
    Q_OBJECT

public:
    explicit QtHostTransport(QObject* parent = nullptr);
    ~QtHostTransport() override;

    void setEvents(HostTransportEvents* events) override;
    void setOldestTls(TlsVersion version) override;
    Bytes resolve(const Bytes& hostName, std::chrono::milliseconds timeout) override;
    void connect(const Bytes& host, int port, bool tls, std::chrono::milliseconds timeout) override;
    void close() override;
    bool isOpen() const override;
    void write(BytesView bytes) override;
    Bytes peerKeyDigest() const override;

    // The leaf certificate of the last TLS connect; null after a plain one.
    const QSslCertificate& peerCertificate() const { return peerCertificate_; }

    // How long a write may wait for the host to take its bytes (10 s): a host
    // that takes nothing for so long is gone, and the call is dropped rather
    // than the gateway hung.
    void setWriteTimeout(std::chrono::milliseconds timeout);

    // The socket's descriptor while open, -1 otherwise (for diagnostics).
    qintptr socketDescriptor() const;

private:
    void watch(QTcpSocket* socket);
    void onReadyRead();
    void scheduleDelivery();
    void deliverReceived();
    void onSocketLost(QAbstractSocket::SocketError error);
    void release();

    HostTransportEvents* events_ = nullptr;
    TlsVersion oldestTls_ = TlsVersion::V1_2;
    QPointer<QTcpSocket> socket_;
    // Bumped whenever the socket is let go; a delivery that finds it changed
    // stops touching the socket it started with.
    std::uint64_t generation_ = 0;
    bool deliveryQueued_ = false;
    bool writing_ = false;
    std::chrono::milliseconds writeTimeout_{10000};
    QSslCertificate peerCertificate_;
};

}  // namespace tavorline
