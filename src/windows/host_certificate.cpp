#include "windows/host_certificate.h"

#include <bcrypt.h>

#include <cstdio>
#include <vector>

#include "windows/win_text.h"

namespace tavorline::win {
namespace {

Bytes sha256(const BYTE* data, DWORD size) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return {};
    }
    Bytes digest(32, '\0');
    BCRYPT_HASH_HANDLE hash = nullptr;
    const bool done = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0 &&
                      BCryptHashData(hash, const_cast<BYTE*>(data), size, 0) == 0 &&
                      BCryptFinishHash(hash, reinterpret_cast<BYTE*>(digest.data()),
                                       static_cast<ULONG>(digest.size()), 0) == 0;
    if (hash) BCryptDestroyHash(hash);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done ? digest : Bytes();
}

Bytes nameText(const CERT_NAME_BLOB& name) {
    const DWORD flags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;
    const DWORD size =
        CertNameToStrW(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&name), flags, nullptr, 0);
    if (size <= 1) return {};
    std::vector<wchar_t> text(size);
    CertNameToStrW(X509_ASN_ENCODING, const_cast<CERT_NAME_BLOB*>(&name), flags, text.data(), size);
    return cp949FromWide(text.data());
}

Bytes timeText(const FILETIME& time) {
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&time, &utc)) return "?";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", utc.wYear, utc.wMonth,
                  utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
    return text;
}

}  // namespace

// Schannel keeps the key info decoded; encoding it again gives the DER the
// certificate carries, as the encoding of a key is unique.
Bytes publicKeyDigest(const CERT_CONTEXT& certificate) {
    BYTE* der = nullptr;
    DWORD size = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO,
                             &certificate.pCertInfo->SubjectPublicKeyInfo, CRYPT_ENCODE_ALLOC_FLAG,
                             nullptr, &der, &size)) {
        return {};
    }
    Bytes digest = sha256(der, size);
    LocalFree(der);
    return digest;
}

Bytes subjectText(const CERT_CONTEXT& certificate) {
    return nameText(certificate.pCertInfo->Subject);
}

Bytes issuerText(const CERT_CONTEXT& certificate) {
    return nameText(certificate.pCertInfo->Issuer);
}

Bytes validFromText(const CERT_CONTEXT& certificate) {
    return timeText(certificate.pCertInfo->NotBefore);
}

Bytes validUntilText(const CERT_CONTEXT& certificate) {
    return timeText(certificate.pCertInfo->NotAfter);
}

}  // namespace tavorline::win
