#pragma once

#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <string>

#include "host/host_transport.h"
#include "host/tls_version.h"
#include "support/bytes.h"
#include "windows/host_certificate.h"

namespace tavorline::win {

// Schannel's entry points (InitSecurityInterfaceW).
const SecurityFunctionTableW& systemSecurityPackage();

// The client side of one TLS session through Schannel, without any I/O of
// its own: the transport hands it what came from the socket and sends what
// it gives back. Keeping the socket out of here lets the transport decide
// how long each step may wait.
//
// The host's certificate is not checked: the payment hosts present
// certificates no public authority vouches for, and the link has always been
// accepted as it is. Failures throw HostError.
class SchannelSession {
public:
    // Offers `oldest` and every later version the system has. `sspi` is the
    // system's security package unless a test scripts one.
    SchannelSession(const std::wstring& hostName, TlsVersion oldest,
                    const SecurityFunctionTableW& sspi = systemSecurityPackage());
    ~SchannelSession();
    SchannelSession(const SchannelSession&) = delete;
    SchannelSession& operator=(const SchannelSession&) = delete;

    // The client's first handshake message.
    Bytes start();
    // Takes handshake bytes from the host and returns what to send back
    // (possibly nothing). Once established(), whatever came after the last
    // handshake record is application data waiting for decrypt().
    Bytes continueHandshake(BytesView received);
    bool established() const { return established_; }
    // The host's own certificate once established; null when it sent none.
    Certificate peerCertificate() const;

    // Application data to TLS records.
    Bytes encrypt(BytesView plain);

    // Adds bytes from the socket and returns the application data of every
    // complete record among them; a record cut short waits for the rest.
    // Handshake records of a renegotiation are taken here too.
    Bytes decrypt(BytesView received);
    // The host sent its close notice: nothing more will come.
    bool closedByHost() const { return closedByHost_; }
    // What decrypt() owes the host in return (the handshake of a
    // renegotiation the host asked for, a TLS 1.3 key update's answer);
    // mostly nothing. To be sent as soon as decrypt() returns.
    Bytes takeReply();

    // The close notice to send before the connection's FIN.
    Bytes closeNotice();

private:
    Bytes handshakeStep();
    Bytes answerRenegotiation(bool handedBack);
    bool nextRecordIsHandshake() const;
    void settle();
    void keepUnconsumed(const SecBuffer& extra);

    const SecurityFunctionTableW& sspi_;
    CredHandle credentials_{};
    CtxtHandle context_{};
    bool haveContext_ = false;
    std::wstring hostName_;
    Bytes pending_;  // received bytes not yet consumed by Schannel
    Bytes reply_;
    SecPkgContext_StreamSizes sizes_{};
    bool established_ = false;
    bool renegotiating_ = false;
    bool closedByHost_ = false;
};

}  // namespace tavorline::win
