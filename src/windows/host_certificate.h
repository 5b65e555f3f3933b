#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <memory>

#include "support/bytes.h"

namespace tavorline::win {

struct CertificateRelease {
    void operator()(const CERT_CONTEXT* certificate) const {
        CertFreeCertificateContext(certificate);
    }
};
using Certificate = std::unique_ptr<const CERT_CONTEXT, CertificateRelease>;

// The SHA-256 of the certificate's SubjectPublicKeyInfo in DER, the bytes
// openssl's `pkey -pubin -outform der` gives; empty when the system cannot
// encode or hash it.
Bytes publicKeyDigest(const CERT_CONTEXT& certificate);

// For a person reading the certificate: its subject and issuer as the
// system spells names ("CN=host, O=maker"), its validity as
// "yyyy-mm-dd hh:nn:ss UTC".
Bytes subjectText(const CERT_CONTEXT& certificate);
Bytes issuerText(const CERT_CONTEXT& certificate);
Bytes validFromText(const CERT_CONTEXT& certificate);
Bytes validUntilText(const CERT_CONTEXT& certificate);

}  // namespace tavorline::win
