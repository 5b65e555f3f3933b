#pragma once

// Test hosts on 127.0.0.1 under Wine.
#include <winsock2.h>

namespace tavorline::win {

// A socket bound to 127.0.0.1 and a free port; nobody gets through to it
// unless it listens.
struct LoopbackSocket {
    LoopbackSocket() {
        WSADATA details;
        WSAStartup(MAKEWORD(2, 2), &details);
        socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        ::bind(socket, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~LoopbackSocket() {
        if (socket != INVALID_SOCKET) closesocket(socket);
        WSACleanup();
    }

    SOCKET socket;
    int port;
};

}  // namespace tavorline::win
