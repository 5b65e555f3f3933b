#pragma once

#include <array>
#include <vector>

#include "support/bytes.h"

namespace tavorline {

// The SHA-256 of a certificate's SubjectPublicKeyInfo (DER).
using KeyDigest = std::array<unsigned char, 32>;

// "sha256/" and the base64 of the digest, as openssl prints it for
// `x509 -pubkey | pkey -pubin -outform der | dgst -sha256 -binary | base64`.
// A digest of any other size than 32 bytes reads "sha256/?".
Bytes pinText(BytesView digest);

// The TlsPin setting: the host keys the gateway trusts over TLS. Pinning the
// key rather than the certificate lets a host renew its certificate on the
// same key without telling every shop.
class HostKeyPins {
public:
    // Pins separated by commas or blanks. A missing key ("Empty") or a value
    // with no pin in it leaves the check off, so that an upgrade never stops
    // a shop from taking payments. Anything else that is not a list of
    // well-formed pins is malformed, and then no TLS host is trusted at all:
    // a typo must not quietly turn the check off.
    static HostKeyPins parse(BytesView setting);

    bool checks() const { return !pins_.empty() || malformed_; }
    bool malformed() const { return malformed_; }
    // True when the check is off or the digest is one of the pins.
    bool accepts(BytesView digest) const;

private:
    std::vector<KeyDigest> pins_;
    bool malformed_ = false;
};

// The setting with `pin` added after the pins already there; unchanged when
// it holds the pin already. Throws std::invalid_argument when `pin` or the
// current setting is malformed (a bad setting is the shop's to fix by hand).
Bytes settingWithPin(BytesView setting, BytesView pin);

}  // namespace tavorline
