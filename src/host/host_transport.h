#pragma once

#include <chrono>
#include <stdexcept>

#include "host/tls_version.h"
#include "support/bytes.h"

namespace tavorline {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the transport reports from the socket, on the main thread.
class HostTransportEvents {
public:
    virtual ~HostTransportEvents() = default;
    // One socket read's worth of bytes (at most 32768). The transport may be
    // closed from inside this call; it must then read no further.
    virtual void onReceived(BytesView chunk) = 0;
    // The host closed the connection (a read returned end of stream).
    virtual void onPeerClosed() = 0;
    // The connection was reset or aborted while idle.
    virtual void onBroken() = 0;
};

// A TCP connection, plain or TLS, to the payment host. TLS offers 1.2 and
// later unless told otherwise, and does not verify the host's certificate.
class HostTransport {
public:
    virtual ~HostTransport() = default;

    virtual void setEvents(HostTransportEvents* events) = 0;
    // For the next TLS connect. Below 1.2 the TLS library's security level
    // is lowered as far as such a host needs.
    virtual void setOldestTls(TlsVersion version) = 0;

    // The dotted address of a host name within `timeout` (0 or less: as
    // long as the system takes); throws HostError. The thread is free again
    // by the deadline even when the name servers are not (lookUpWithin).
    virtual Bytes resolve(const Bytes& hostName, std::chrono::milliseconds timeout) = 0;
    // Looks the host up, connects and completes the TLS handshake, all
    // within `timeout`, with TCP_NODELAY set; throws HostError and leaves
    // the transport closed.
    virtual void connect(const Bytes& host, int port, bool tls,
                         std::chrono::milliseconds timeout) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The SHA-256 of the SubjectPublicKeyInfo of the certificate the host
    // presented at the last TLS connect (32 bytes); empty after a plain
    // connect or when the host presented none.
    virtual Bytes peerKeyDigest() const = 0;
    // Hands every byte to the socket before it returns; throws HostError,
    // after which the transport is closed.
    virtual void write(BytesView bytes) = 0;
};

}  // namespace tavorline
