#pragma once

#include <chrono>

#include "host/host_key_pin.h"
#include "host/host_transport.h"
#include "support/bytes.h"

namespace tavorline {

// The gateway's handlers for what happens on the host connection.
class HostConnectionEvents {
public:
    virtual ~HostConnectionEvents() = default;
    virtual void IdConnectionIntercept1Connect() = 0;
    virtual void IdConnectionIntercept1Disconnect() = 0;
    virtual void HOSTStatus(BytesView text) = 0;
    virtual void IdConnectionIntercept1Receive(BytesView chunk) = 0;
    // After every TLS handshake, before the connection counts as made:
    // the pin of the key the host presented and whether TlsPin trusts it.
    virtual void hostKeyPresented(BytesView /*pin*/, bool /*trusted*/) {}
};

// A TLS connect the host key check refused; the link stays closed.
class HostKeyRefused : public HostError {
public:
    using HostError::HostError;
};

// A TLS connect not even tried because TlsPin is malformed.
class TlsPinMalformed : public HostKeyRefused {
public:
    using HostKeyRefused::HostKeyRefused;
};

// The host client HOST: one connection at a time, with the notifications and
// status notices in the order the log expects them.
//   connect, plain:  "Resolving hostname %s." (names only), "Connecting to %s.",
//                    connected notification, "Connected."
//   connect, TLS:    connected notification, "Connected."
//   disconnect:      "Disconnecting.", disconnected notification, "Disconnected."
//   host closed:     disconnected notification, "Disconnected."
//   write failed:    disconnected notification, no status
class HostConnection : private HostTransportEvents {
public:
    HostConnection(HostTransport& transport, HostConnectionEvents& events);
    ~HostConnection() override;

    void useTls(bool tls) { tls_ = tls; }
    bool usesTls() const { return tls_; }
    void setHost(Bytes host) { host_ = std::move(host); }
    void setPort(int port) { port_ = port; }
    void setConnectTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // Checked at every TLS connect; plain connects never look at them.
    void setHostKeyPins(HostKeyPins pins) { pins_ = std::move(pins); }

    // Throws HostError; the link then stays closed.
    void Connect();
    // No effect at all when not connected.
    void Disconnect();
    bool Connected() const;
    // Empty text sends nothing. Throws HostError when not connected or the
    // socket fails (the link is then closed).
    void Write(BytesView bytes);
    // Sends the first `count` bytes; a count of 0 or less sends nothing.
    void WriteBuffer(const unsigned char* area, int count);

private:
    void onReceived(BytesView chunk) override;
    void onPeerClosed() override;
    void onBroken() override;
    void dropAfterFailure();
    void checkHostKey();

    HostTransport& transport_;
    HostConnectionEvents& events_;
    bool tls_ = true;
    Bytes host_;
    int port_ = 0;
    std::chrono::milliseconds timeout_{10000};
    HostKeyPins pins_;
};

bool isDottedAddress(BytesView host);

}  // namespace tavorline
