#pragma once

#include <optional>
#include <utility>

#include "host/host_transport.h"
#include "support/bytes.h"
#include "support/configuration.h"

namespace tavorline {

// What `--host-pin HOST:PORT` learnt of a host's certificate; the shell
// fills it from its TLS library.
struct PresentedCertificate {
    Bytes keyDigest;  // SHA-256 of the SubjectPublicKeyInfo
    Bytes subject;
    Bytes issuer;
    Bytes validFrom;
    Bytes validUntil;
};

// "HOST:PORT" with a port of 1 to 65535.
std::optional<std::pair<Bytes, int>> hostAndPort(BytesView text);

// Connects over TLS as the gateway would, with the configured TlsMinVersion
// and HostTimeout, so that the command reaches what the gateway reaches.
// Throws HostError.
void connectAsTheGateway(HostTransport& transport, const Configuration& config,
                         const std::pair<Bytes, int>& address);

// The lines the command prints, each ending in a line feed.
Bytes presentedCertificateText(BytesView target, const PresentedCertificate& certificate);

// Adds `pin` to TlsPin in the program folder's vorn.Ini, after the pins
// already there and leaving every other key as it is; says what it did, in
// one line. Throws ConfigWriteError, or std::invalid_argument when TlsPin
// is malformed (left for the shop to fix by hand).
Bytes saveHostPin(Configuration& config, BytesView pin);

}  // namespace tavorline
