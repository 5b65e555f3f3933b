#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace tavorline::testing {

// The host's end of one connection, driven from the host thread.
class HostSide {
public:
    HostSide(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}

    void send(std::string_view bytes);
    // Blocks until `count` bytes came or the gateway closed the connection.
    std::string receive(std::size_t count);
    std::string receiveUntilClosed();
    // Bytes straight onto the TCP stream, past the TLS layer.
    void sendRaw(std::string_view bytes);
    // An abortive close: the gateway sees a reset.
    void reset();
    bool wasReset() const { return reset_; }

private:
    int fd_;
    SSL* ssl_;
    bool reset_ = false;
};

// A payment host on 127.0.0.1 for one connection: plain TCP, or TLS with a
// self-signed certificate made for the test run. It runs in a thread of its
// own because the gateway's connect and write block the Qt thread.
class LoopbackHost {
public:
    // TlsUpTo11: a host of the old kind that speaks TLS 1.0 and 1.1 only.
    enum class Transport { Plain, Tls, TlsUpTo11 };

    explicit LoopbackHost(Transport transport);
    ~LoopbackHost();
    LoopbackHost(const LoopbackHost&) = delete;
    LoopbackHost& operator=(const LoopbackHost&) = delete;

    int port() const { return port_; }
    // The pin of the TLS hosts' key, computed by OpenSSL from the key itself:
    // "sha256/" and the base64 of the SHA-256 of its SubjectPublicKeyInfo.
    static std::string keyPin();

    // Accepts one connection (completing the TLS handshake), runs `script`
    // on it, then closes it in an orderly way unless the script reset it.
    void serve(std::function<void(HostSide&)> script);
    bool finished() const { return finished_; }
    void join();
    // What went wrong on the host's side, empty when nothing did.
    std::string failure() const;

private:
    void run(const std::function<void(HostSide&)>& script);
    void fail(std::string what);

    Transport transport_;
    int listener_ = -1;
    int port_ = 0;
    SSL_CTX* context_ = nullptr;
    std::thread thread_;
    std::atomic<bool> finished_{false};
    mutable std::mutex mutex_;
    std::string failure_;
};

}  // namespace tavorline::testing
