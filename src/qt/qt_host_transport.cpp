#include "qt/qt_host_transport.h"

#include <poll.h>

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QScopedValueRollback>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTimer>
#include <limits>

#include "host/name_lookup.h"
#include "qt/cp949.h"
#include "qt/yield_to_reader.h"

namespace tavorline {
namespace {

constexpr qint64 kMaxChunk = 32768;
// Time a closed socket gets to send its TLS close notice and FIN.
constexpr int kCloseGraceMs = 1000;

QString hostText(const Bytes& host) { return fromCp949(host); }

Bytes errorText(const QString& what, const QAbstractSocket& socket) {
    return toCp949(what + QStringLiteral(": ") + socket.errorString());
}

qint64 bytesQueued(QTcpSocket& socket) {
    qint64 queued = socket.bytesToWrite();
    if (auto* tls = qobject_cast<QSslSocket*>(&socket)) queued += tls->encryptedBytesToWrite();
    return queued;
}

// Qt 6.4 can miss a reset that arrives while it completes the connect: the
// socket then looks connected but never reports anything again.
bool droppedDuringConnect(const QAbstractSocket& socket) {
    pollfd entry{static_cast<int>(socket.socketDescriptor()), POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

int waitMs(std::chrono::milliseconds timeout) {
    if (timeout.count() <= 0) return -1;  // as long as the system lets a connect take
    return static_cast<int>(
        std::min<std::chrono::milliseconds::rep>(timeout.count(), std::numeric_limits<int>::max()));
}

// Debian's OpenSSL refuses anything below TLS 1.2 at its default security
// level; a host that speaks only 1.0 or 1.1 also signs with SHA-1, which
// only level 0 admits. The TLS library's own settings say so, after Qt's.
void admitOldTls(QSslConfiguration& config, TlsVersion oldest) {
    const char* minimum = oldest == TlsVersion::V1_0 ? "TLSv1" : "TLSv1.1";
    config.setProtocol(QSsl::AnyProtocol);
    config.setBackendConfigurationOption("MinProtocol", QByteArray(minimum));
    config.setBackendConfigurationOption("CipherString", QByteArray("DEFAULT:@SECLEVEL=0"));
}

QTcpSocket* makeSocket(bool tls, TlsVersion oldest, QObject* parent) {
    if (!tls) return new QTcpSocket(parent);
    if (!QSslSocket::supportsSsl()) {
        throw HostError("TLS is not available: " +
                        QSslSocket::sslLibraryBuildVersionString().toStdString());
    }
    auto* socket = new QSslSocket(parent);
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    switch (oldest) {
        case TlsVersion::V1_0:
        case TlsVersion::V1_1:
            admitOldTls(config, oldest);
            break;
        case TlsVersion::V1_2:
            config.setProtocol(QSsl::TlsV1_2OrLater);
            break;
        case TlsVersion::V1_3:
            config.setProtocol(QSsl::TlsV1_3OrLater);
            break;
    }
    // The payment hosts present certificates that no public authority would
    // vouch for; the link has always been accepted without checking.
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket->setSslConfiguration(config);
    return socket;
}

// Runs on the lookup's own thread: it touches nothing of the transport.
Bytes firstIpv4Address(const Bytes& hostName) {
    const QHostInfo info = QHostInfo::fromName(hostText(hostName));
    if (info.error() != QHostInfo::NoError) {
        throw HostError(toCp949(
            QStringLiteral("Host %1 not found: %2").arg(hostText(hostName), info.errorString())));
    }
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            return address.toString().toStdString();
        }
    }
    throw HostError(toCp949(QStringLiteral("Host %1 has no IPv4 address").arg(hostText(hostName))));
}

}  // namespace

QtHostTransport::QtHostTransport(QObject* parent) : QObject(parent) {}

QtHostTransport::~QtHostTransport() { close(); }

void QtHostTransport::setWriteTimeout(std::chrono::milliseconds timeout) {
    writeTimeout_ = timeout;
}

void QtHostTransport::setOldestTls(TlsVersion version) { oldestTls_ = version; }

void QtHostTransport::setEvents(HostTransportEvents* events) { events_ = events; }

Bytes QtHostTransport::resolve(const Bytes& hostName, std::chrono::milliseconds timeout) {
    return lookUpWithin(firstIpv4Address, hostName, timeout);
}

void QtHostTransport::connect(const Bytes& host, int port, bool tls,
                              std::chrono::milliseconds timeout) {
    if (socket_) throw HostError("Already connected.");
    if (port <= 0 || port > 65535) {
        throw HostError(toCp949(QStringLiteral("Cannot connect to %1:%2: not a valid port")
                                    .arg(hostText(host))
                                    .arg(port)));
    }
    peerCertificate_ = QSslCertificate();
    QTcpSocket* socket = makeSocket(tls, oldestTls_, this);
    // Set as soon as the TCP connection stands, so the TLS handshake already
    // goes out without Nagle's delay.
    QObject::connect(socket, &QAbstractSocket::connected, socket,
                     [socket] { socket->setSocketOption(QAbstractSocket::LowDelayOption, 1); });
    bool ready = false;
    if (auto* tlsSocket = qobject_cast<QSslSocket*>(socket)) {
        tlsSocket->connectToHostEncrypted(hostText(host), static_cast<quint16>(port));
        ready = tlsSocket->waitForEncrypted(waitMs(timeout));
    } else {
        socket->connectToHost(hostText(host), static_cast<quint16>(port));
        ready = socket->waitForConnected(waitMs(timeout));
    }
    const QString target = QStringLiteral("%1:%2").arg(hostText(host)).arg(port);
    if (!ready || droppedDuringConnect(*socket)) {
        const Bytes message =
            ready ? toCp949(QStringLiteral("Cannot connect to %1: the host dropped the connection")
                                .arg(target))
                  : errorText(QStringLiteral("Cannot connect to %1").arg(target), *socket);
        socket->abort();
        socket->deleteLater();
        throw HostError(message);
    }
    if (auto* tlsSocket = qobject_cast<QSslSocket*>(socket)) {
        peerCertificate_ = tlsSocket->peerCertificate();
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    // The last handshake message may still sit in Qt's buffer; the host must
    // not wait for it until the gateway's first write.
    socket->flush();
    socket_ = socket;
    watch(socket);
    // The host may have spoken while the handshake was still being waited for.
    if (socket->bytesAvailable() > 0) scheduleDelivery();
}

void QtHostTransport::watch(QTcpSocket* socket) {
    QObject::connect(socket, &QIODevice::readyRead, this, &QtHostTransport::onReadyRead);
    const std::uint64_t generation = generation_;
    const auto lost = [this, generation](QAbstractSocket::SocketError error) {
        if (generation == generation_) onSocketLost(error);
    };
    QObject::connect(socket, &QAbstractSocket::errorOccurred, this, lost, Qt::QueuedConnection);
    QObject::connect(
        socket, &QAbstractSocket::disconnected, this,
        [lost] { lost(QAbstractSocket::RemoteHostClosedError); }, Qt::QueuedConnection);
}

// Straight from the event loop a plain socket's data goes to the engine at
// once, saving a pass of the loop on every host message. A TLS socket reports
// from inside its own record processing, and any socket may report from
// inside write()'s wait: those deliveries wait for the loop.
void QtHostTransport::onReadyRead() {
    if (writing_ || qobject_cast<QSslSocket*>(socket_.data()) != nullptr) {
        scheduleDelivery();
    } else {
        deliverReceived();
    }
}

void QtHostTransport::scheduleDelivery() {
    if (deliveryQueued_) return;
    deliveryQueued_ = true;
    const std::uint64_t generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != generation_) return;
            deliveryQueued_ = false;
            deliverReceived();
        },
        Qt::QueuedConnection);
}

void QtHostTransport::deliverReceived() {
    const std::uint64_t generation = generation_;
    while (socket_ && socket_->bytesAvailable() > 0) {
        const QByteArray chunk = socket_->read(kMaxChunk);
        if (chunk.isEmpty()) return;
        if (events_) events_->onReceived(BytesView(chunk.constData(), chunk.size()));
        if (generation != generation_) return;  // closed from inside the engine
    }
}

// The engine hears of the loss while the transport still counts as open, so
// that it can log the dropped link before closing it.
void QtHostTransport::onSocketLost(QAbstractSocket::SocketError error) {
    if (!socket_) return;
    if (error == QAbstractSocket::SocketTimeoutError &&
        socket_->state() == QAbstractSocket::ConnectedState) {
        return;
    }
    const std::uint64_t generation = generation_;
    deliverReceived();
    if (generation != generation_) return;
    if (events_) {
        if (error == QAbstractSocket::RemoteHostClosedError) {
            events_->onPeerClosed();
        } else {
            events_->onBroken();
        }
    }
    if (generation == generation_) release();
}

void QtHostTransport::close() {
    if (socket_) release();
}

bool QtHostTransport::isOpen() const { return !socket_.isNull(); }

// QSslKey's DER of a public key is its SubjectPublicKeyInfo, the very bytes
// openssl's `pkey -pubin -outform der` gives.
Bytes QtHostTransport::peerKeyDigest() const {
    if (peerCertificate_.isNull()) return {};
    const QByteArray publicKey = peerCertificate_.publicKey().toDer();
    if (publicKey.isEmpty()) return {};
    const QByteArray digest = QCryptographicHash::hash(publicKey, QCryptographicHash::Sha256);
    return Bytes(digest.constData(), static_cast<std::size_t>(digest.size()));
}

void QtHostTransport::write(BytesView bytes) {
    if (!socket_) throw HostError("Not connected.");
    if (bytes.empty()) return;
    QTcpSocket& socket = *socket_;
    const QScopedValueRollback<bool> writing(writing_, true);
    const auto size = static_cast<qint64>(bytes.size());
    if (socket.write(bytes.data(), size) != size) {
        const Bytes message = errorText(QStringLiteral("Host write failed"), socket);
        release();
        throw HostError(message);
    }
    const QDeadlineTimer deadline(writeTimeout_);
    while (bytesQueued(socket) > 0) {
        const bool moved = !deadline.hasExpired() &&
                           socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
        if (!moved && bytesQueued(socket) > 0) {
            const Bytes message = errorText(QStringLiteral("Host write failed"), socket);
            release();
            throw HostError(message);
        }
    }
    yieldToReader();
}

qintptr QtHostTransport::socketDescriptor() const {
    return socket_ ? socket_->socketDescriptor() : qintptr(-1);
}

// Lets go of the socket without a word to the engine. The socket object
// outlives this call (it may be the one whose signal is being handled) and
// gets a moment to close the TLS session and the connection cleanly.
void QtHostTransport::release() {
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    ++generation_;
    deliveryQueued_ = false;
    socket->disconnect(this);
    socket->disconnectFromHost();
    // Hands the TLS close notice and the FIN to the kernel now: the engine
    // may block the event loop for a while after a disconnect.
    socket->flush();
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kCloseGraceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

}  // namespace tavorline
