#include "host/host_connection.h"

#include <cctype>

namespace tavorline {
namespace {

Bytes notice(BytesView before, BytesView name) {
    return Bytes(before) + Bytes(name) + ".";
}

}  // namespace

bool isDottedAddress(BytesView host) {
    int parts = 0;
    while (true) {
        std::size_t digits = 0;
        int value = 0;
        while (digits < host.size() && std::isdigit(static_cast<unsigned char>(host[digits]))) {
            value = value * 10 + (host[digits] - '0');
            if (++digits > 3) return false;
        }
        if (digits == 0 || value > 255) return false;
        ++parts;
        host.remove_prefix(digits);
        if (host.empty()) return parts == 4;
        if (host.front() != '.' || parts == 4) return false;
        host.remove_prefix(1);
    }
}

HostConnection::HostConnection(HostTransport& transport, HostConnectionEvents& events)
    : transport_(transport), events_(events) {
    transport_.setEvents(this);
}

HostConnection::~HostConnection() { transport_.setEvents(nullptr); }

// Status notices of name resolution and connecting come from the plain
// socket layer only; over TLS the log shows just "Connected.".
void HostConnection::Connect() {
    if (transport_.isOpen()) throw HostError("Already connected.");
    if (tls_) {
        if (pins_.malformed()) throw TlsPinMalformed("TlsPin is malformed");
        transport_.connect(host_, port_, true, timeout_);
        checkHostKey();
    } else {
        Bytes address = host_;
        if (!isDottedAddress(host_)) {
            events_.HOSTStatus(notice("Resolving hostname ", host_));
            address = transport_.resolve(host_, timeout_);
        }
        events_.HOSTStatus(notice("Connecting to ", address));
        transport_.connect(address, port_, false, timeout_);
    }
    events_.IdConnectionIntercept1Connect();
    events_.HOSTStatus("Connected.");
}

// Before the connected notification: the terminal gets no ENQ, so no
// request byte can go to a host that is not the shop's.
void HostConnection::checkHostKey() {
    const Bytes digest = transport_.peerKeyDigest();
    const bool trusted = pins_.accepts(digest);
    try {
        events_.hostKeyPresented(pinText(digest), trusted);
    } catch (...) {
        transport_.close();
        throw;
    }
    if (trusted) return;
    transport_.close();
    throw HostKeyRefused("Host key not in TlsPin: " + pinText(digest));
}

void HostConnection::Disconnect() {
    if (!transport_.isOpen()) return;
    events_.HOSTStatus("Disconnecting.");
    events_.IdConnectionIntercept1Disconnect();
    transport_.close();
    events_.HOSTStatus("Disconnected.");
}

bool HostConnection::Connected() const { return transport_.isOpen(); }

void HostConnection::Write(BytesView bytes) {
    if (!transport_.isOpen()) throw HostError("Not connected.");
    if (bytes.empty()) return;
    try {
        transport_.write(bytes);
    } catch (const HostError&) {
        // The link was up when the write began; the transport may already
        // have closed it.
        events_.IdConnectionIntercept1Disconnect();
        transport_.close();
        throw;
    }
}

void HostConnection::WriteBuffer(const unsigned char* area, int count) {
    if (count <= 0) {
        if (!transport_.isOpen()) throw HostError("Not connected.");
        return;
    }
    Write(BytesView(reinterpret_cast<const char*>(area), static_cast<std::size_t>(count)));
}

void HostConnection::dropAfterFailure() {
    if (!transport_.isOpen()) return;
    events_.IdConnectionIntercept1Disconnect();
    transport_.close();
}

// Whatever goes wrong while a host chunk is handled stays inside that chunk:
// the link and the call go on.
void HostConnection::onReceived(BytesView chunk) {
    try {
        events_.IdConnectionIntercept1Receive(chunk);
    } catch (...) {
    }
}

void HostConnection::onPeerClosed() {
    try {
        events_.IdConnectionIntercept1Disconnect();
        transport_.close();
        events_.HOSTStatus("Disconnected.");
    } catch (...) {
        transport_.close();
    }
}

void HostConnection::onBroken() {
    try {
        dropAfterFailure();
    } catch (...) {
        transport_.close();
    }
}

}  // namespace tavorline
