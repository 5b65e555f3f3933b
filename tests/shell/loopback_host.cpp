#include "loopback_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tavorline::testing {
namespace {

// How long the host waits for the gateway before it gives the test up.
constexpr int kSafetyLimitMs = 10000;

struct Identity {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
};

// One throwaway self-signed certificate for the whole run.
const Identity& identity() {
    static const Identity made = [] {
        Identity id;
        id.key = EVP_EC_gen("P-256");
        id.certificate = X509_new();
        X509_set_version(id.certificate, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(id.certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(id.certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(id.certificate), 24 * 3600);
        X509_NAME* name = X509_get_subject_name(id.certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("loopback host"), -1, -1,
                                   0);
        X509_set_issuer_name(id.certificate, name);
        X509_set_pubkey(id.certificate, id.key);
        if (X509_sign(id.certificate, id.key, EVP_sha256()) == 0) {
            throw std::runtime_error("cannot sign the test certificate");
        }
        return id;
    }();
    return made;
}

}  // namespace

std::string LoopbackHost::keyPin() {
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(identity().key, &der);
    unsigned char digest[32];
    unsigned int digestSize = 0;
    EVP_Digest(der, static_cast<std::size_t>(size), digest, &digestSize, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    unsigned char text[64] = {};
    EVP_EncodeBlock(text, digest, static_cast<int>(digestSize));
    return "sha256/" + std::string(reinterpret_cast<char*>(text));
}

namespace {

bool readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, kSafetyLimitMs) == 1;
}

}  // namespace

void HostSide::send(std::string_view bytes) {
    while (!bytes.empty()) {
        const int written =
            ssl_ ? SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()))
                 : static_cast<int>(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL));
        if (written <= 0) throw std::runtime_error("host send failed");
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::string HostSide::receive(std::size_t count) {
    std::string received;
    char buffer[16384];
    while (received.size() < count) {
        if ((!ssl_ || SSL_pending(ssl_) == 0) && !readable(fd_)) break;
        const std::size_t wanted = std::min(sizeof buffer, count - received.size());
        const int got = ssl_ ? SSL_read(ssl_, buffer, static_cast<int>(wanted))
                             : static_cast<int>(::recv(fd_, buffer, wanted, 0));
        if (got <= 0) break;
        received.append(buffer, static_cast<std::size_t>(got));
    }
    return received;
}

std::string HostSide::receiveUntilClosed() { return receive(std::string::npos); }

void HostSide::sendRaw(std::string_view bytes) {
    if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("host raw send failed");
    }
}

void HostSide::reset() {
    const linger abortive{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    reset_ = true;
}

LoopbackHost::LoopbackHost(Transport transport) : transport_(transport) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    if (transport_ == Transport::TlsUpTo11) {
        context_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_set_security_level(context_, 0);
        SSL_CTX_set_min_proto_version(context_, TLS1_VERSION);
        SSL_CTX_set_max_proto_version(context_, TLS1_1_VERSION);
        SSL_CTX_set_cipher_list(context_, "DEFAULT:@SECLEVEL=0");
    } else if (transport_ == Transport::Tls) {
        context_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
    }
    if (context_) {
        SSL_CTX_use_certificate(context_, identity().certificate);
        SSL_CTX_use_PrivateKey(context_, identity().key);
    }
}

LoopbackHost::~LoopbackHost() {
    join();
    ::close(listener_);
    if (context_) SSL_CTX_free(context_);
}

void LoopbackHost::serve(std::function<void(HostSide&)> script) {
    thread_ = std::thread([this, script = std::move(script)] {
        run(script);
        finished_ = true;
    });
}

void LoopbackHost::join() {
    if (thread_.joinable()) thread_.join();
}

std::string LoopbackHost::failure() const {
    std::lock_guard lock(mutex_);
    return failure_;
}

void LoopbackHost::fail(std::string what) {
    std::lock_guard lock(mutex_);
    failure_ = std::move(what);
}

void LoopbackHost::run(const std::function<void(HostSide&)>& script) {
    if (!readable(listener_)) return fail("nobody connected");
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return fail("accept failed");
    SSL* ssl = nullptr;
    if (context_) {
        ssl = SSL_new(context_);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) != 1) {
            SSL_free(ssl);
            ::close(fd);
            return fail("TLS handshake failed");
        }
    }
    HostSide side(fd, ssl);
    try {
        script(side);
    } catch (const std::exception& error) {
        fail(error.what());
    }
    if (ssl) {
        if (!side.wasReset()) SSL_shutdown(ssl);
        SSL_free(ssl);
    }
    ::close(fd);
}

}  // namespace tavorline::testing
