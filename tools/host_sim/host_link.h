#pragma once

#include <memory>
#include <string>

#include "support/bytes.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace tavorline::sim {

// Where the TLS identity of the host comes from: files, or a throwaway
// self-signed certificate made at start.
struct TlsSetup {
    bool enabled = false;
    std::string certificateFile;
    std::string keyFile;
};

// One connection from a gateway, plain or TLS. Every send is one write to the
// socket, because the gateway takes each read as one message.
class HostConnection {
public:
    HostConnection(int fd, SSL* ssl, std::string peer);
    ~HostConnection();
    HostConnection(const HostConnection&) = delete;
    HostConnection& operator=(const HostConnection&) = delete;

    const std::string& peer() const { return peer_; }
    bool open() const { return fd_ >= 0; }

    void send(BytesView bytes);

    enum class Read { Data, Timeout, Closed };
    // Waits up to `timeoutMs` for bytes and appends what one read gives to `into`.
    Read readSome(Bytes& into, int timeoutMs);
    void close();

private:
    int fd_;
    SSL* ssl_;
    std::string peer_;
};

// The listening socket and, with TLS, the context every connection shares.
class HostListener {
public:
    HostListener(const std::string& address, int port, const TlsSetup& tls);
    ~HostListener();
    HostListener(const HostListener&) = delete;
    HostListener& operator=(const HostListener&) = delete;

    int port() const { return port_; }
    bool tls() const { return context_ != nullptr; }
    // Waits for the next gateway (up to `timeoutMs`, -1 for ever) and completes
    // the TLS handshake; nullptr on timeout. A failed handshake throws.
    std::unique_ptr<HostConnection> accept(int timeoutMs, int handshakeTimeoutMs);

private:
    int fd_ = -1;
    int port_ = 0;
    SSL_CTX* context_ = nullptr;
};

}  // namespace tavorline::sim
