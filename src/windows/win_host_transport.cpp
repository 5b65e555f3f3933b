#include "windows/win_host_transport.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "host/host_connection.h"
#include "windows/win_text.h"

namespace tavorline::win {
namespace {

constexpr int kMaxChunk = 32768;

[[noreturn]] void throwSocketError(int code) {
    throw HostError(systemMessage(static_cast<unsigned long>(code)));
}

// The system's lookup, on a thread that may outlive the transport: it holds
// Winsock for itself.
Bytes firstIpv4Address(const Bytes& hostName) {
    WSADATA details;
    WSAStartup(MAKEWORD(2, 2), &details);
    ADDRINFOW hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    const int failure = GetAddrInfoW(wideFromCp949(hostName).c_str(), nullptr, &hints, &found);
    if (failure != 0 || found == nullptr) {
        WSACleanup();
        throw HostError("Host " + hostName +
                        " not found: " + systemMessage(static_cast<unsigned long>(failure)));
    }
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const auto octets = reinterpret_cast<const unsigned char*>(&address->sin_addr);
    char dotted[16];
    std::snprintf(dotted, sizeof dotted, "%u.%u.%u.%u", octets[0], octets[1], octets[2], octets[3]);
    FreeAddrInfoW(found);
    WSACleanup();
    return dotted;
}

using Clock = std::chrono::steady_clock;

// What is left of a deadline for the name lookup; 0 for no deadline at all.
std::chrono::milliseconds lookupTimeLeft(Clock::time_point deadline) {
    if (deadline == Clock::time_point::max()) return std::chrono::milliseconds(0);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return std::max(left, std::chrono::milliseconds(1));
}

DWORD millisecondsUntil(Clock::time_point deadline) {
    if (deadline == Clock::time_point::max()) return INFINITE;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<DWORD>(
        std::clamp<std::chrono::milliseconds::rep>(left.count(), 0, INFINITE - 1));
}

}  // namespace

WinHostTransport::WinHostTransport(EventLoop& loop) : loop_(loop), nameLookup_(firstIpv4Address) {
    WSADATA details;
    WSAStartup(MAKEWORD(2, 2), &details);
    networkEvent_ = WSACreateEvent();
}

WinHostTransport::~WinHostTransport() {
    close();
    WSACloseEvent(networkEvent_);
    WSACleanup();
}

Bytes WinHostTransport::resolve(const Bytes& hostName, std::chrono::milliseconds timeout) {
    return lookUpWithin(nameLookup_, hostName, timeout);
}

void WinHostTransport::connect(const Bytes& host, int port, bool tls,
                               std::chrono::milliseconds timeout) {
    if (isOpen()) throw HostError("Already connected.");
    const Bytes target = host + ":" + std::to_string(port);
    if (port <= 0 || port > 65535) {
        throw HostError("Cannot connect to " + target + ": not a valid port");
    }
    // A time-out of 0 or less waits as long as the system lets a connect take.
    const Deadline deadline = timeout.count() > 0 ? Clock::now() + timeout : Deadline::max();
    peerCertificate_.reset();
    try {
        openSocket(host, port, deadline);
        if (tls) shakeHands(wideFromCp949(host), deadline);
    } catch (const HostError& error) {
        release();
        throw HostError("Cannot connect to " + target + ": " + error.what());
    }
    loop_.watch(networkEvent_, [this] { onNetworkEvent(); });
    // The host may have spoken while the connect was still waiting.
    WSASetEvent(networkEvent_);
}

void WinHostTransport::openSocket(const Bytes& host, int port, Deadline deadline) {
    const Bytes dotted =
        isDottedAddress(host) ? host : lookUpWithin(nameLookup_, host, lookupTimeLeft(deadline));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr(dotted.c_str());
    address.sin_port = htons(static_cast<u_short>(port));
    socket_ = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (socket_ == INVALID_SOCKET) throwSocketError(WSAGetLastError());
    // Set before connecting, so the TLS handshake already goes out without
    // Nagle's delay.
    const BOOL noDelay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    // Makes the socket non-blocking, for good.
    if (WSAEventSelect(socket_, networkEvent_, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE) != 0) {
        throwSocketError(WSAGetLastError());
    }
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        return;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) throwSocketError(WSAGetLastError());
    while (true) {
        WSANETWORKEVENTS happened{};
        if (WaitForSingleObject(networkEvent_, millisecondsUntil(deadline)) != WAIT_OBJECT_0 ||
            WSAEnumNetworkEvents(socket_, networkEvent_, &happened) != 0) {
            throw HostError("no answer in time");
        }
        if (happened.lNetworkEvents & FD_CONNECT) {
            if (const int failure = happened.iErrorCode[FD_CONNECT_BIT]) throwSocketError(failure);
            return;
        }
    }
}

void WinHostTransport::shakeHands(const std::wstring& hostName, Deadline deadline) {
    tls_ = std::make_unique<SchannelSession>(hostName, oldestTls_);
    sendAll(tls_->start(), deadline);
    char buffer[kMaxChunk];
    while (!tls_->established()) {
        const int got = receiveSome(buffer, sizeof buffer);
        if (got > 0) {
            sendAll(tls_->continueHandshake(BytesView(buffer, static_cast<std::size_t>(got))),
                    deadline);
        } else if (got == 0) {
            throw HostError("the host closed the connection during the TLS handshake");
        } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
            throwSocketError(WSAGetLastError());
        } else if (!waitForNetwork(deadline)) {
            throw HostError("no TLS handshake in time");
        }
    }
    // Application data that came with the last handshake record, and what
    // the session owes the host for what came with it.
    received_ = tls_->decrypt({});
    sendAll(tls_->takeReply(), deadline);
    peerCertificate_ = tls_->peerCertificate();
}

Bytes WinHostTransport::peerKeyDigest() const {
    return peerCertificate_ ? publicKeyDigest(*peerCertificate_) : Bytes();
}

// Waits for the socket's next network event within the deadline and notes a
// close by the host for the event loop.
bool WinHostTransport::waitForNetwork(Deadline deadline) {
    if (WaitForSingleObject(networkEvent_, millisecondsUntil(deadline)) != WAIT_OBJECT_0) {
        return false;
    }
    WSANETWORKEVENTS happened{};
    if (WSAEnumNetworkEvents(socket_, networkEvent_, &happened) != 0) return false;
    if (happened.lNetworkEvents & FD_CLOSE) hostCloseError_ = happened.iErrorCode[FD_CLOSE_BIT];
    return true;
}

void WinHostTransport::sendAll(BytesView bytes, Deadline deadline) {
    while (!bytes.empty()) {
        const int size = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
        const int sent = send(socket_, bytes.data(), size, 0);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (WSAGetLastError() != WSAEWOULDBLOCK) {
            throwSocketError(WSAGetLastError());
        } else if (!waitForNetwork(deadline)) {
            throw HostError("the host took nothing in time");
        }
    }
}

int WinHostTransport::receiveSome(char* buffer, int size) { return recv(socket_, buffer, size, 0); }

void WinHostTransport::write(BytesView bytes) {
    if (!isOpen()) throw HostError("Not connected.");
    if (bytes.empty()) return;
    try {
        const Deadline deadline = Clock::now() + writeTimeout_;
        if (tls_) {
            sendAll(tls_->encrypt(bytes), deadline);
        } else {
            sendAll(bytes, deadline);
        }
    } catch (const HostError& error) {
        release();
        throw HostError(std::string("Host write failed: ") + error.what());
    }
    // The waits may have taken the read notice: the loop reads anyway.
    WSASetEvent(networkEvent_);
    // A host on this machine (a simulator, a local relay) reads sooner when
    // it need not wait for our logging and bookkeeping after the write.
    SwitchToThread();
}

// One socket read per pass of the event loop, so a host that sends a lot
// does not keep the terminal's events waiting.
void WinHostTransport::onNetworkEvent() {
    WSANETWORKEVENTS happened{};
    WSAEnumNetworkEvents(socket_, networkEvent_, &happened);
    if (happened.lNetworkEvents & FD_CLOSE) hostCloseError_ = happened.iErrorCode[FD_CLOSE_BIT];
    char buffer[kMaxChunk];
    const int got = receiveSome(buffer, sizeof buffer);
    const int failure = got < 0 ? WSAGetLastError() : 0;
    if (got > 0) {
        const BytesView bytes(buffer, static_cast<std::size_t>(got));
        try {
            received_ += tls_ ? tls_->decrypt(bytes) : Bytes(bytes);
            if (tls_) sendAll(tls_->takeReply(), Clock::now() + writeTimeout_);
        } catch (const HostError&) {
            reportLoss(true);
            return;
        }
        // More may be waiting; the read notice does not always say so again.
        WSASetEvent(networkEvent_);
    }
    const std::uint64_t generation = generation_;
    deliver();
    if (generation != generation_) return;
    if (got == 0 || (tls_ && tls_->closedByHost())) {
        reportLoss(false);
    } else if (got < 0 && (failure != WSAEWOULDBLOCK || hostCloseError_ != 0)) {
        reportLoss(true);
    }
}

void WinHostTransport::deliver() {
    const std::uint64_t generation = generation_;
    while (!received_.empty() && generation == generation_) {
        const std::size_t size = std::min<std::size_t>(received_.size(), kMaxChunk);
        const Bytes chunk = received_.substr(0, size);
        received_.erase(0, size);
        if (events_) events_->onReceived(chunk);
    }
}

// The engine hears of the loss while the transport still counts as open, so
// that it can log the dropped link before closing it.
void WinHostTransport::reportLoss(bool broken) {
    const std::uint64_t generation = generation_;
    deliver();
    if (generation != generation_) return;
    if (events_) {
        if (broken) {
            events_->onBroken();
        } else {
            events_->onPeerClosed();
        }
    }
    if (generation == generation_) release();
}

void WinHostTransport::close() { release(); }

// Lets go of the socket without a word to the engine, after the TLS close
// notice and the FIN; the system sends what is still queued on its own.
void WinHostTransport::release() {
    if (socket_ == INVALID_SOCKET) return;
    loop_.unwatch(networkEvent_);
    if (tls_ && tls_->established()) {
        const Bytes notice = tls_->closeNotice();
        send(socket_, notice.data(), static_cast<int>(notice.size()), 0);
    }
    shutdown(socket_, SD_SEND);
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
    tls_.reset();
    received_.clear();
    hostCloseError_ = 0;
    ++generation_;
    WSAResetEvent(networkEvent_);
}

}  // namespace tavorline::win
