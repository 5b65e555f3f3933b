#pragma once

#include <windows.h>
#include <winsock2.h>

#include <chrono>
#include <cstdint>
#include <memory>

#include "host/host_transport.h"
#include "host/name_lookup.h"
#include "windows/event_loop.h"
#include "windows/schannel_session.h"

namespace tavorline::win {

// The host connection on a Winsock socket, with Schannel for TLS.
//
// The socket's network events signal one event object. While connected the
// event loop watches it and hands what the host sent to the engine; connect()
// and write() are blocking steps of the engine and wait on that object
// themselves, so nothing reaches the engine from inside them. What they
// notice meanwhile is kept and handed over by the loop afterwards.
class WinHostTransport : public HostTransport {
public:
    explicit WinHostTransport(EventLoop& loop);
    ~WinHostTransport() override;
    WinHostTransport(const WinHostTransport&) = delete;
    WinHostTransport& operator=(const WinHostTransport&) = delete;

    void setEvents(HostTransportEvents* events) override { events_ = events; }
    void setOldestTls(TlsVersion version) override { oldestTls_ = version; }
    Bytes resolve(const Bytes& hostName, std::chrono::milliseconds timeout) override;
    void connect(const Bytes& host, int port, bool tls, std::chrono::milliseconds timeout) override;
    void close() override;
    bool isOpen() const override { return socket_ != INVALID_SOCKET; }
    void write(BytesView bytes) override;
    Bytes peerKeyDigest() const override;

    // The leaf certificate of the last TLS connect; null after a plain one.
    const CERT_CONTEXT* peerCertificate() const { return peerCertificate_.get(); }

    // How long a write may wait for the host to take its bytes (10 s): a host
    // that takes nothing for so long is gone, and the call is dropped rather
    // than the gateway hung.
    void setWriteTimeout(std::chrono::milliseconds timeout) { writeTimeout_ = timeout; }

    // Stands in for the system's name lookup (for tests: one that answers
    // late or not at all).
    void setNameLookup(NameLookup lookup) { nameLookup_ = std::move(lookup); }

    // The socket while open, INVALID_SOCKET otherwise (for diagnostics).
    SOCKET socketHandle() const { return socket_; }

private:
    using Deadline = std::chrono::steady_clock::time_point;

    void openSocket(const Bytes& host, int port, Deadline deadline);
    void shakeHands(const std::wstring& hostName, Deadline deadline);
    bool waitForNetwork(Deadline deadline);
    void sendAll(BytesView bytes, Deadline deadline);
    int receiveSome(char* buffer, int size);
    void onNetworkEvent();
    void deliver();
    void reportLoss(bool broken);
    void release();

    EventLoop& loop_;
    HostTransportEvents* events_ = nullptr;
    TlsVersion oldestTls_ = TlsVersion::V1_2;
    std::chrono::milliseconds writeTimeout_{10000};
    NameLookup nameLookup_;
    SOCKET socket_ = INVALID_SOCKET;
    WSAEVENT networkEvent_;
    std::unique_ptr<SchannelSession> tls_;
    Certificate peerCertificate_;
    Bytes received_;  // decrypted, not yet handed to the engine
    // How the host ended the connection, as a wait inside connect() or
    // write() may be the one to see it: 0 for an orderly close.
    int hostCloseError_ = 0;
    // Bumped whenever the socket is let go, so a delivery notices a close
    // from inside the engine.
    std::uint64_t generation_ = 0;
};

}  // namespace tavorline::win
