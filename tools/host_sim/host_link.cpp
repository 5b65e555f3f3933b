#include "host_sim/host_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/errors.h"

namespace tavorline::sim {
namespace {

std::string openSslError() {
    char text[256] = "unknown error";
    if (const unsigned long code = ERR_get_error()) ERR_error_string_n(code, text, sizeof text);
    return text;
}

// A certificate nobody needs to trust: the gateway does not verify the host.
void useThrowawayIdentity(SSL_CTX* context) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    if (key == nullptr || certificate == nullptr) throw SetupError("cannot make a TLS key");
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 7 * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("host-sim"), -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509_set_pubkey(certificate, key);
    const bool ok = X509_sign(certificate, key, EVP_sha256()) != 0 &&
                    SSL_CTX_use_certificate(context, certificate) == 1 &&
                    SSL_CTX_use_PrivateKey(context, key) == 1;
    X509_free(certificate);
    EVP_PKEY_free(key);
    if (!ok) throw SetupError("cannot make the TLS certificate: " + openSslError());
}

SSL_CTX* makeTlsContext(const TlsSetup& tls) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr) throw SetupError("cannot start TLS: " + openSslError());
    if (tls.certificateFile.empty()) {
        useThrowawayIdentity(context);
    } else if (SSL_CTX_use_certificate_chain_file(context, tls.certificateFile.c_str()) != 1 ||
               SSL_CTX_use_PrivateKey_file(context, tls.keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
               SSL_CTX_check_private_key(context) != 1) {
        const std::string why = openSslError();
        SSL_CTX_free(context);
        throw SetupError("cannot use " + tls.certificateFile + " / " + tls.keyFile + ": " + why);
    }
    return context;
}

bool waitReadable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready >= 0) return ready == 1;
        if (errno != EINTR) return false;
    }
}

void setReceiveTimeout(int fd, int timeoutMs) {
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

}  // namespace

HostConnection::HostConnection(int fd, SSL* ssl, std::string peer)
    : fd_(fd), ssl_(ssl), peer_(std::move(peer)) {}

HostConnection::~HostConnection() { close(); }

void HostConnection::send(BytesView bytes) {
    if (fd_ < 0) throw ProtocolError("the connection is closed");
    if (bytes.empty()) return;
    if (ssl_ != nullptr) {
        // One SSL_write: OpenSSL writes it all, as few records as it can.
        if (SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) <= 0) {
            throw ProtocolError("TLS write failed: the gateway has gone");
        }
        return;
    }
    while (!bytes.empty()) {
        const ssize_t written = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) throw ProtocolError(std::string("write failed: ") + std::strerror(errno));
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

HostConnection::Read HostConnection::readSome(Bytes& into, int timeoutMs) {
    if (fd_ < 0) return Read::Closed;
    const bool buffered = ssl_ != nullptr && SSL_pending(ssl_) > 0;
    if (!buffered && !waitReadable(fd_, timeoutMs)) return Read::Timeout;
    char buffer[65536];
    const int got = ssl_ != nullptr ? SSL_read(ssl_, buffer, sizeof buffer)
                                    : static_cast<int>(::recv(fd_, buffer, sizeof buffer, 0));
    if (got <= 0) return Read::Closed;
    into.append(buffer, static_cast<std::size_t>(got));
    return Read::Data;
}

void HostConnection::close() {
    if (fd_ < 0) return;
    if (ssl_ != nullptr) {
        SSL_shutdown(ssl_);
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
    ::close(fd_);
    fd_ = -1;
}

HostListener::HostListener(const std::string& address, int port, const TlsSetup& tls) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &where.sin_addr) != 1) {
        throw SetupError("not an IPv4 address: " + address);
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int reuse = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    socklen_t length = sizeof where;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&where), length) != 0 ||
        ::listen(fd_, 4) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&where), &length) != 0) {
        const std::string why = std::strerror(errno);
        if (fd_ >= 0) ::close(fd_);
        throw SetupError("cannot listen on " + address + ":" + std::to_string(port) + ": " + why);
    }
    port_ = ntohs(where.sin_port);
    if (tls.enabled) context_ = makeTlsContext(tls);
}

HostListener::~HostListener() {
    if (context_ != nullptr) SSL_CTX_free(context_);
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<HostConnection> HostListener::accept(int timeoutMs, int handshakeTimeoutMs) {
    if (!waitReadable(fd_, timeoutMs)) return nullptr;
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
    if (fd < 0) throw ProtocolError(std::string("accept failed: ") + std::strerror(errno));
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    char text[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    const std::string peer = std::string(text) + ":" + std::to_string(ntohs(from.sin_port));
    if (context_ == nullptr) return std::make_unique<HostConnection>(fd, nullptr, peer);

    SSL* ssl = SSL_new(context_);
    SSL_set_fd(ssl, fd);
    setReceiveTimeout(fd, handshakeTimeoutMs);
    if (SSL_accept(ssl) != 1) {
        const std::string why = openSslError();
        SSL_free(ssl);
        ::close(fd);
        throw ProtocolError("TLS handshake with " + peer + " failed: " + why);
    }
    setReceiveTimeout(fd, 0);
    return std::make_unique<HostConnection>(fd, ssl, peer);
}

}  // namespace tavorline::sim
