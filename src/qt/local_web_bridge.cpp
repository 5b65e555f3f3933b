#include "qt/local_web_bridge.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

namespace tavorline {
namespace {

using Clock = std::chrono::steady_clock;

QString pathText(const std::filesystem::path& path) { return QFile::decodeName(path.c_str()); }

QString bytesText(BytesView bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString handleText(std::uint64_t handle) { return QStringLiteral("0x%1").arg(handle, 0, 16); }

int waitMs(Clock::duration left) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::clamp<decltype(ms)>(ms, 1, std::numeric_limits<int>::max()));
}

enum class Occupant { Nothing, StaleSocket, LiveSocket, OtherFile, Unknown };

// What is at `path` now: a socket nobody accepts on is what a gateway that
// was killed leaves behind.
Occupant occupantOf(const std::filesystem::path& path, int& error) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        error = errno;
        return error == ENOENT ? Occupant::Nothing : Occupant::Unknown;
    }
    if (!S_ISSOCK(info.st_mode)) return Occupant::OtherFile;
    // Non-blocking: a gateway too busy to accept must not stall this one.
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0) {
        error = errno;
        return Occupant::Unknown;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int connected =
        ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    error = connected == 0 ? 0 : errno;
    ::close(probe);
    if (connected == 0 || error == EAGAIN) return Occupant::LiveSocket;
    return error == ECONNREFUSED ? Occupant::StaleSocket : Occupant::Unknown;
}

}  // namespace

struct LocalWebBridge::Link {
    std::uint64_t number = 0;
    QPointer<QLocalSocket> socket;
    BridgeFrameReader reader;
    // Texts sent here and not yet replied to. A reply answers the latest of
    // them, as a nested send returns before the one it interrupted.
    int unanswered = 0;
    bool peerGone = false;
    bool dropped = false;
    // Runs while the connection holds the start of a message and not its end.
    QPointer<QTimer> partialMessage;
};

// One send waiting for its reply; restores the enclosing send's deadline.
class LocalWebBridge::WaitScope {
public:
    WaitScope(LocalWebBridge& bridge, Clock::time_point deadline)
        : bridge_(bridge), enclosing_(bridge.deadline_) {
        ++bridge_.waiting_;
        bridge_.deadline_ = deadline;
    }
    ~WaitScope() {
        --bridge_.waiting_;
        bridge_.deadline_ = enclosing_;
        // Frames that came with the reply, and whatever other windows sent
        // meanwhile, are delivered once the gateway is back in its event loop.
        bridge_.wantPump();
    }
    WaitScope(const WaitScope&) = delete;
    WaitScope& operator=(const WaitScope&) = delete;

private:
    LocalWebBridge& bridge_;
    Clock::time_point enclosing_;
};

class LocalWebBridge::DispatchScope {
public:
    explicit DispatchScope(LocalWebBridge& bridge) : bridge_(bridge) { ++bridge_.dispatching_; }
    ~DispatchScope() {
        --bridge_.dispatching_;
        bridge_.pumpIfIdle();
    }
    DispatchScope(const DispatchScope&) = delete;
    DispatchScope& operator=(const DispatchScope&) = delete;

private:
    LocalWebBridge& bridge_;
};

LocalWebBridge::LocalWebBridge(QObject* parent) : QObject(parent) {
    QObject::connect(&server_, &QLocalServer::newConnection, this,
                     &LocalWebBridge::acceptConnections);
}

LocalWebBridge::~LocalWebBridge() { close(); }

std::filesystem::path LocalWebBridge::defaultSocketPath(
    const std::filesystem::path& programFolder) {
    return programFolder / kSocketFileName;
}

void LocalWebBridge::setWebHandleHandler(WebHandleHandler handler) {
    onWebHandle_ = std::move(handler);
}

void LocalWebBridge::setCopyDataHandler(CopyDataHandler handler) {
    onCopyData_ = std::move(handler);
}

void LocalWebBridge::setDiagnostics(Diagnostics diagnostics) {
    diagnostics_ = std::move(diagnostics);
}

void LocalWebBridge::setReplyTimeout(std::chrono::milliseconds timeout) { replyTimeout_ = timeout; }

bool LocalWebBridge::listen(const std::filesystem::path& socketPath) {
    close();
    const std::filesystem::path path = std::filesystem::absolute(socketPath);
    const QString where = pathText(path);
    const auto refuse = [&](const QString& why) {
        diagnose(QStringLiteral("cannot listen at %1: %2").arg(where, why));
        return false;
    };
    // Clients could not reach a longer path: sun_path is all they have.
    if (path.native().size() >= sizeof(sockaddr_un::sun_path)) {
        return refuse(QStringLiteral("the path is longer than %1 bytes")
                          .arg(sizeof(sockaddr_un::sun_path) - 1));
    }
    int error = 0;
    switch (occupantOf(path, error)) {
        case Occupant::Nothing:
            break;
        case Occupant::StaleSocket:
            if (::unlink(path.c_str()) != 0 && errno != ENOENT) return refuse(systemError(errno));
            break;
        case Occupant::LiveSocket:
            return refuse(QStringLiteral("another gateway is listening there"));
        case Occupant::OtherFile:
            return refuse(QStringLiteral("a file that is not a socket is in the way"));
        case Occupant::Unknown:
            return refuse(systemError(error));
    }
    // Qt creates the socket in a private folder beside it, sets its mode and
    // only then moves it into place, so it is never reachable with a wider one.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(where)) return refuse(server_.errorString());
    return true;
}

void LocalWebBridge::close() {
    std::vector<LinkPtr> open;
    for (const auto& [number, link] : links_) open.push_back(link);
    for (const LinkPtr& link : open) drop(link, QString());
    if (server_.isListening()) server_.close();  // removes the socket file
}

void LocalWebBridge::acceptConnections() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        QString who;
        if (!peerIsOurUser(socket->socketDescriptor(), who)) {
            diagnose(QStringLiteral("connection refused: %1 is not the gateway's user").arg(who));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto link = std::make_shared<Link>();
        link->number = nextLinkNumber_++;
        link->socket = socket;
        links_.emplace(link->number, link);
        const std::weak_ptr<Link> weak = link;
        QObject::connect(socket, &QLocalSocket::readyRead, this, [this, weak] {
            if (const LinkPtr held = weak.lock()) onReadyRead(held);
        });
        QObject::connect(socket, &QLocalSocket::disconnected, this, [this, weak] {
            if (const LinkPtr held = weak.lock()) onDisconnected(held);
        });
    }
}

bool LocalWebBridge::peerIsOurUser(qintptr descriptor, QString& who) const {
#if defined(SO_PEERCRED)
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        who = QStringLiteral("a peer of unknown user (%1)").arg(systemError(errno));
        return false;
    }
    who = QStringLiteral("user %1").arg(peer.uid);
    return peer.uid == ::geteuid();
#else
    // The socket file's mode is the only guard here.
    (void)descriptor;
    (void)who;
    return true;
#endif
}

void LocalWebBridge::onReadyRead(const LinkPtr& link) {
    if (link->dropped) return;
    takeBytes(*link);
    if (mayDeliver()) {
        handleFrames(link);
    } else {
        // A send is waiting (and reads its own connection itself), or a
        // handler is running: this connection's turn comes after it.
        wantPump();
    }
}

void LocalWebBridge::onDisconnected(const LinkPtr& link) {
    if (link->dropped) return;
    takeBytes(*link);
    link->peerGone = true;
    if (mayDeliver()) {
        handleFrames(link);
    } else {
        wantPump();
    }
}

void LocalWebBridge::takeBytes(Link& link) {
    if (!link.socket) return;
    const QByteArray bytes = link.socket->readAll();
    if (!bytes.isEmpty()) link.reader.append(BytesView(bytes.constData(), bytes.size()));
}

// Everything complete that a connection sent; a connection the window closed
// is let go once its last complete message has been handled.
void LocalWebBridge::handleFrames(const LinkPtr& link) {
    bool delivered = false;
    while (!link->dropped && deliverNext(link)) delivered = true;
    if (link->dropped) return;
    watchPartialMessage(link, delivered);
    if (!link->peerGone) return;
    drop(link, link->reader.pending() > 0
                   ? QStringLiteral("the web screen hung up in the middle of a message")
                   : QString());
}

// A client that stops in the middle of a message would hold its connection
// (and its registration) for ever; an idle one, between messages, may stay.
// The time runs from the first byte of the unfinished message.
void LocalWebBridge::watchPartialMessage(const LinkPtr& link, bool messageCompleted) {
    if (!link->partialMessage) {
        link->partialMessage = new QTimer(link->socket);
        link->partialMessage->setSingleShot(true);
        const std::weak_ptr<Link> weak = link;
        QObject::connect(link->partialMessage, &QTimer::timeout, this, [this, weak] {
            if (const LinkPtr held = weak.lock()) {
                drop(held, QStringLiteral("a message left unfinished for %1 ms")
                               .arg(replyTimeout_.count()));
            }
        });
    }
    if (messageCompleted || link->reader.pending() == 0) link->partialMessage->stop();
    if (link->reader.pending() > 0 && !link->partialMessage->isActive()) {
        link->partialMessage->start(replyTimeout_);
    }
}

bool LocalWebBridge::deliverNext(const LinkPtr& link) {
    BridgeFrame frame;
    switch (link->reader.next(frame)) {
        case BridgeFrameReader::Status::NeedMore:
            return false;
        case BridgeFrameReader::Status::Malformed:
            drop(link, bytesText(link->reader.error()));
            return true;
        case BridgeFrameReader::Status::Frame:
            dispatch(link, frame);
            return true;
    }
    return false;
}

void LocalWebBridge::dispatch(const LinkPtr& link, const BridgeFrame& frame) {
    switch (frame.message) {
        case kBridgeReply:
            if (link->unanswered == 0) {
                drop(link, QStringLiteral("a reply to no message"));
                return;
            }
            --link->unanswered;
            return;
        case kWmWebHandle:
            windows_[frame.lParam] = link;
            runHandler("WM_WEBHANDLE", [&] {
                if (onWebHandle_) onWebHandle_(frame.lParam);
            });
            break;
        case kWmCopyData:
            runHandler("WM_COPYDATA", [&] {
                if (onCopyData_) onCopyData_(copyDataBlock(frame));
            });
            break;
    }
    write(link, replyFrame());
}

template <typename Call>
void LocalWebBridge::runHandler(const char* what, Call&& call) {
    DispatchScope scope(*this);
    try {
        call();
    } catch (const std::exception& error) {
        diagnose(QStringLiteral("%1 handler failed: %2")
                     .arg(QLatin1String(what), QString::fromLocal8Bit(error.what())));
    } catch (...) {
        diagnose(QStringLiteral("%1 handler failed").arg(QLatin1String(what)));
    }
}

void LocalWebBridge::send(std::uint64_t webHandle, BytesView text) {
    const LinkPtr link = registeredLink(webHandle);
    if (!link) return;
    if (text.size() + 1 > kMaxDataBlock) {
        diagnose(QStringLiteral("a text of %1 bytes is too long for the web screen; not sent")
                     .arg(text.size()));
        return;
    }
    if (waiting_ >= kMaxNestedSends) {
        drop(link, QStringLiteral("messages nested more than %1 deep").arg(kMaxNestedSends));
        return;
    }
    Bytes block(text);
    block += '\0';
    const Clock::time_point ownDeadline = Clock::now() + replyTimeout_;
    WaitScope scope(*this, waiting_ == 0 ? ownDeadline : std::min(ownDeadline, deadline_));
    const int answeredAt = link->unanswered++;
    write(link, copyDataFrame(0, kWebTextTag, block));
    awaitReply(link, answeredAt, deadline_, webHandle);
}

void LocalWebBridge::awaitReply(const LinkPtr& link, int answeredAt, Clock::time_point deadline,
                                std::uint64_t webHandle) {
    while (!link->dropped && link->unanswered > answeredAt) {
        if (deliverNext(link)) continue;
        if (link->peerGone) {
            drop(link, QStringLiteral("web window %1 hung up without answering")
                           .arg(handleText(webHandle)));
            return;
        }
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            drop(link, QStringLiteral("web window %1 did not answer within %2 ms")
                           .arg(handleText(webHandle))
                           .arg(replyTimeout_.count()));
            return;
        }
        waitForBytes(*link, left);
    }
}

// Blocks on this one socket: no other event of the gateway runs meanwhile.
void LocalWebBridge::waitForBytes(Link& link, Clock::duration left) {
    if (!link.socket || link.socket->state() != QLocalSocket::ConnectedState) {
        link.peerGone = true;
        return;
    }
    link.socket->waitForReadyRead(waitMs(left));
    takeBytes(link);
    if (!link.socket || link.socket->state() != QLocalSocket::ConnectedState) link.peerGone = true;
}

void LocalWebBridge::write(const LinkPtr& link, BytesView frame) {
    if (link->dropped || link->peerGone || !link->socket) return;
    link->socket->write(frame.data(), static_cast<qint64>(frame.size()));
    link->socket->flush();
    if (link->socket && link->socket->bytesToWrite() > kMaxUnsentBytes) {
        drop(link, QStringLiteral("the web screen does not read what it is sent"));
    }
}

void LocalWebBridge::drop(LinkPtr link, const QString& reason) {
    if (link->dropped) return;
    link->dropped = true;
    if (!reason.isEmpty()) {
        diagnose(QStringLiteral("connection %1 closed: %2").arg(link->number).arg(reason));
    }
    links_.erase(link->number);
    for (auto window = windows_.begin(); window != windows_.end();) {
        const LinkPtr holder = window->second.lock();
        window = (!holder || holder == link) ? windows_.erase(window) : std::next(window);
    }
    if (QLocalSocket* socket = link->socket) {
        link->socket = nullptr;
        QObject::disconnect(socket, nullptr, this, nullptr);
        socket->abort();
        socket->deleteLater();
    }
}

LocalWebBridge::LinkPtr LocalWebBridge::registeredLink(std::uint64_t webHandle) const {
    const auto window = windows_.find(webHandle);
    if (window == windows_.end()) return nullptr;
    LinkPtr link = window->second.lock();
    return link && !link->dropped ? link : nullptr;
}

void LocalWebBridge::wantPump() {
    pumpWanted_ = true;
    pumpIfIdle();
}

void LocalWebBridge::pumpIfIdle() {
    if (!pumpWanted_ || pumpQueued_ || !mayDeliver()) return;
    pumpQueued_ = true;
    QMetaObject::invokeMethod(this, &LocalWebBridge::pump, Qt::QueuedConnection);
}

void LocalWebBridge::pump() {
    pumpQueued_ = false;
    if (!mayDeliver()) return;  // rescheduled when the gateway is idle again
    pumpWanted_ = false;
    std::vector<LinkPtr> open;
    for (const auto& [number, link] : links_) open.push_back(link);
    for (const LinkPtr& link : open) {
        if (link->dropped) continue;
        takeBytes(*link);
        handleFrames(link);
    }
}

void LocalWebBridge::diagnose(const QString& line) const {
    if (diagnostics_) diagnostics_(line);
}

}  // namespace tavorline
