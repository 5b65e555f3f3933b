#pragma once

#include <chrono>

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

    HostTransport& transport_;
    HostConnectionEvents& events_;
    bool tls_ = true;
    Bytes host_;
    int port_ = 0;
    std::chrono::milliseconds timeout_{10000};
};

bool isDottedAddress(BytesView host);

}  // namespace tavorline
