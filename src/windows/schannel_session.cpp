#include "windows/schannel_session.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace tavorline::win {
namespace {

// Wine's Schannel hands over the host's close notice as an empty record
// where Windows says SEC_I_CONTEXT_EXPIRED. Up to TLS 1.2 a record's type
// travels in the clear, and an alert from the host ends the session either
// way.
constexpr char kAlertRecord = 0x15;
constexpr char kChangeCipherSpecRecord = 0x14;
constexpr char kHandshakeRecord = 0x16;

constexpr ULONG kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

[[noreturn]] void fail(const char* what, SECURITY_STATUS status) {
    char text[96];
    std::snprintf(text, sizeof text, "%s (0x%08lX)", what, static_cast<unsigned long>(status));
    throw HostError(text);
}

// Versions below 1.2 only when the setting asks for them; a system that does
// not know a newer one simply leaves it out.
DWORD protocolsFrom(TlsVersion oldest) {
    DWORD protocols = SP_PROT_TLS1_3_CLIENT;
    if (oldest <= TlsVersion::V1_2) protocols |= SP_PROT_TLS1_2_CLIENT;
    if (oldest <= TlsVersion::V1_1) protocols |= SP_PROT_TLS1_1_CLIENT;
    if (oldest <= TlsVersion::V1_0) protocols |= SP_PROT_TLS1_0_CLIENT;
    return protocols;
}

// Output tokens that Schannel allocated; freed however the step ends.
struct OutputToken {
    explicit OutputToken(const SecurityFunctionTableW& sspi) : sspi(sspi) {
        buffer.BufferType = SECBUFFER_TOKEN;
        description.ulVersion = SECBUFFER_VERSION;
        description.cBuffers = 1;
        description.pBuffers = &buffer;
    }
    ~OutputToken() {
        if (buffer.pvBuffer) sspi.FreeContextBuffer(buffer.pvBuffer);
    }
    Bytes bytes() const {
        if (!buffer.pvBuffer) return {};
        return Bytes(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
    }

    const SecurityFunctionTableW& sspi;
    SecBuffer buffer{};
    SecBufferDesc description{};
};

}  // namespace

const SecurityFunctionTableW& systemSecurityPackage() {
    static const SecurityFunctionTableW* const table = InitSecurityInterfaceW();
    if (table == nullptr) throw HostError("TLS is not available (no security interface)");
    return *table;
}

SchannelSession::SchannelSession(const std::wstring& hostName, TlsVersion oldest,
                                 const SecurityFunctionTableW& sspi)
    : sspi_(sspi), hostName_(hostName) {
    SCHANNEL_CRED settings{};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    settings.grbitEnabledProtocols = protocolsFrom(oldest);
    settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    wchar_t package[] = UNISP_NAME_W;
    const SECURITY_STATUS status =
        sspi_.AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, &settings,
                                        nullptr, nullptr, &credentials_, nullptr);
    if (status != SEC_E_OK) fail("TLS is not available", status);
}

SchannelSession::~SchannelSession() {
    if (haveContext_) sspi_.DeleteSecurityContext(&context_);
    sspi_.FreeCredentialsHandle(&credentials_);
}

Bytes SchannelSession::start() { return handshakeStep(); }

// While a renegotiation runs, the host's handshake records go to Schannel's
// handshake call and its application data still to DecryptMessage: a host
// may go on sending until it has our new hello. Up to TLS 1.2 a record's
// type travels in the clear.
bool SchannelSession::nextRecordIsHandshake() const {
    if (pending_.empty()) return false;
    return pending_.front() == kHandshakeRecord || pending_.front() == kChangeCipherSpecRecord;
}

// After SEC_I_RENEGOTIATE the handshake call gets what DecryptMessage left:
// the very record it was given when it hands that back whole (a TLS 1.3
// ticket or key update), handshake records, or else an empty token, which is
// how Windows asks for the client's new hello (Wine's Schannel keeps the
// host's request and cannot start from nothing). Application data behind
// the request waits its turn for DecryptMessage.
Bytes SchannelSession::answerRenegotiation(bool handedBack) {
    if (handedBack) {
        const std::size_t offered = pending_.size();
        Bytes reply = handshakeStep();
        if (pending_.size() == offered) fail("TLS renegotiation failed", SEC_E_INCOMPLETE_MESSAGE);
        return reply;
    }
    if (nextRecordIsHandshake()) return handshakeStep();
    Bytes held = std::exchange(pending_, Bytes());
    Bytes reply = handshakeStep();
    pending_ += held;
    return reply;
}

Bytes SchannelSession::continueHandshake(BytesView received) {
    pending_.append(received);
    return handshakeStep();
}

// One call to Schannel per handshake record it can use; a record cut short
// (SEC_E_INCOMPLETE_MESSAGE) waits in pending_ for the rest.
Bytes SchannelSession::handshakeStep() {
    Bytes reply;
    for (;;) {
        SecBuffer input[2]{};
        input[0].BufferType = SECBUFFER_TOKEN;
        input[0].pvBuffer = pending_.data();
        input[0].cbBuffer = static_cast<ULONG>(pending_.size());
        input[1].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc inputDescription{SECBUFFER_VERSION, 2, input};
        OutputToken output(sspi_);
        ULONG attributes = 0;
        const bool first = !haveContext_;
        const SECURITY_STATUS status = sspi_.InitializeSecurityContextW(
            &credentials_, first ? nullptr : &context_, hostName_.data(), kRequest, 0, 0,
            first ? nullptr : &inputDescription, 0, &context_, &output.description, &attributes,
            nullptr);
        haveContext_ = true;
        reply += output.bytes();
        if (status == SEC_E_INCOMPLETE_MESSAGE) return reply;
        // The host asked for a client certificate; there is none to give.
        if (status == SEC_I_INCOMPLETE_CREDENTIALS) continue;
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
            fail("TLS handshake failed", status);
        }
        if (first) return reply;
        if (input[1].BufferType == SECBUFFER_EXTRA) {
            keepUnconsumed(input[1]);
        } else {
            pending_.clear();
        }
        if (status == SEC_E_OK) {
            settle();
            return reply;
        }
        if (pending_.empty() || (renegotiating_ && !nextRecordIsHandshake())) return reply;
    }
}

Certificate SchannelSession::peerCertificate() const {
    PCCERT_CONTEXT certificate = nullptr;
    if (!haveContext_ ||
        sspi_.QueryContextAttributesW(const_cast<CtxtHandle*>(&context_),
                                      SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK) {
        return nullptr;
    }
    return Certificate(certificate);
}

// A renegotiation may change the cipher and with it the record sizes.
void SchannelSession::settle() {
    const SECURITY_STATUS sized =
        sspi_.QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
    if (sized != SEC_E_OK) fail("TLS handshake failed", sized);
    established_ = true;
    renegotiating_ = false;
}

// Schannel reports the bytes it did not use as the tail of what it was given.
void SchannelSession::keepUnconsumed(const SecBuffer& extra) {
    pending_.erase(0, pending_.size() - extra.cbBuffer);
}

Bytes SchannelSession::encrypt(BytesView plain) {
    Bytes records;
    while (!plain.empty()) {
        const std::size_t size = std::min<std::size_t>(plain.size(), sizes_.cbMaximumMessage);
        Bytes record(sizes_.cbHeader + size + sizes_.cbTrailer, '\0');
        std::memcpy(record.data() + sizes_.cbHeader, plain.data(), size);
        SecBuffer parts[4]{};
        parts[0] = {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()};
        parts[1] = {static_cast<ULONG>(size), SECBUFFER_DATA, record.data() + sizes_.cbHeader};
        parts[2] = {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER,
                    record.data() + sizes_.cbHeader + size};
        parts[3].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc description{SECBUFFER_VERSION, 4, parts};
        const SECURITY_STATUS status = sspi_.EncryptMessage(&context_, 0, &description, 0);
        if (status != SEC_E_OK) fail("TLS encryption failed", status);
        // The trailer may come out shorter than its maximum.
        record.resize(parts[0].cbBuffer + parts[1].cbBuffer + parts[2].cbBuffer);
        records += record;
        plain.remove_prefix(size);
    }
    return records;
}

Bytes SchannelSession::decrypt(BytesView received) {
    pending_.append(received);
    Bytes plain;
    while (!pending_.empty() && !closedByHost_) {
        if (renegotiating_ && nextRecordIsHandshake()) {
            const std::size_t before = pending_.size();
            reply_ += handshakeStep();
            // A record cut short waits for the rest.
            if (pending_.size() == before) break;
            continue;
        }
        const bool alert = pending_.front() == kAlertRecord;
        const std::size_t offered = pending_.size();
        SecBuffer parts[4]{};
        parts[0] = {static_cast<ULONG>(pending_.size()), SECBUFFER_DATA, pending_.data()};
        for (int i = 1; i < 4; ++i) parts[i].BufferType = SECBUFFER_EMPTY;
        SecBufferDesc description{SECBUFFER_VERSION, 4, parts};
        const SECURITY_STATUS status = sspi_.DecryptMessage(&context_, &description, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) break;
        if (status == SEC_I_CONTEXT_EXPIRED || (status == SEC_E_OK && alert)) {
            closedByHost_ = true;
            pending_.clear();
            break;
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
            fail("TLS decryption failed", status);
        }
        // The record is decrypted in place, inside pending_: its text is
        // copied out before the unused rest moves to the front.
        const SecBuffer* extra = nullptr;
        for (const SecBuffer& part : parts) {
            if (part.BufferType == SECBUFFER_DATA) {
                plain.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
            } else if (part.BufferType == SECBUFFER_EXTRA) {
                extra = &part;
            }
        }
        if (extra) {
            keepUnconsumed(*extra);
        } else {
            pending_.clear();
        }
        // A TLS 1.2 host asks for a new handshake; a TLS 1.3 host sends
        // session tickets and key updates, which Windows also hands back to
        // the handshake call. The call goes on meanwhile.
        if (status == SEC_I_RENEGOTIATE) {
            renegotiating_ = true;
            reply_ += answerRenegotiation(pending_.size() == offered);
        }
    }
    return plain;
}

Bytes SchannelSession::takeReply() { return std::exchange(reply_, Bytes()); }

Bytes SchannelSession::closeNotice() {
    if (!haveContext_) return {};
    DWORD shutdown = SCHANNEL_SHUTDOWN;
    SecBuffer token{sizeof shutdown, SECBUFFER_TOKEN, &shutdown};
    SecBufferDesc description{SECBUFFER_VERSION, 1, &token};
    if (sspi_.ApplyControlToken(&context_, &description) != SEC_E_OK) return {};
    OutputToken output(sspi_);
    ULONG attributes = 0;
    const SECURITY_STATUS status = sspi_.InitializeSecurityContextW(
        &credentials_, &context_, hostName_.data(), kRequest, 0, 0, nullptr, 0, &context_,
        &output.description, &attributes, nullptr);
    if (FAILED(status)) return {};
    return output.bytes();
}

}  // namespace tavorline::win
