#include "web_client/gateway_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace tavorline::web_client {
namespace {

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

int remainingMs(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

GatewayLink::GatewayLink(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        throw NotThere(socketPath + ": the path is too long for a socket");
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw NotThere(systemError("socket"));
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const std::string why = systemError(socketPath);
        ::close(fd_);
        fd_ = -1;
        throw NotThere(why);
    }
}

GatewayLink::~GatewayLink() {
    if (fd_ >= 0) ::close(fd_);
}

void GatewayLink::call(BytesView frame, int timeoutMs) {
    writeAll(frame);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        BridgeFrame incoming;
        if (readFrame(incoming, remainingMs(end)) == Got::Closed) {
            throw LinkError("the gateway closed the connection before replying");
        }
        if (incoming.message == kBridgeReply) return;
        answer(incoming);
    }
}

bool GatewayLink::serve(int timeoutMs) {
    BridgeFrame incoming;
    if (readFrame(incoming, timeoutMs) == Got::Closed) return false;
    if (incoming.message == kBridgeReply) throw LinkError("the gateway replied to no message");
    answer(incoming);
    return true;
}

void GatewayLink::answer(const BridgeFrame& frame) {
    if (frame.message != kWmCopyData) throw LinkError("the gateway sent WM_WEBHANDLE");
    const BytesView block = copyDataBlock(frame);
    if (onText) onText(block.substr(0, block.find('\0')));
    writeAll(replyFrame());
}

GatewayLink::Got GatewayLink::readFrame(BridgeFrame& frame, int timeoutMs) {
    for (;;) {
        switch (reader_.next(frame)) {
            case BridgeFrameReader::Status::Frame:
                return Got::Frame;
            case BridgeFrameReader::Status::Malformed:
                throw LinkError("the gateway sent a malformed frame: " + reader_.error());
            case BridgeFrameReader::Status::NeedMore:
                break;
        }
        pollfd entry{fd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) throw LinkError(systemError("poll"));
        if (ready == 0) throw LinkError("the gateway did not answer in time");
        char chunk[4096];
        const ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno != ECONNRESET) throw LinkError(systemError("read"));
        if (got <= 0) {
            if (reader_.pending() > 0) {
                throw LinkError("the gateway closed in the middle of a frame");
            }
            return Got::Closed;
        }
        reader_.append(BytesView(chunk, static_cast<std::size_t>(got)));
    }
}

void GatewayLink::writeAll(BytesView bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) throw LinkError(systemError("the gateway cannot be reached"));
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
}

}  // namespace tavorline::web_client
