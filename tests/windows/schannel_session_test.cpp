// The session's record loop against a scripted security package that plays
// Schannel as Windows documents it. Wine's Schannel cannot start the new
// handshake a host asks for (it wants a record from the host first, and the
// host waits for our hello), so a real renegotiation cannot be run here.
#include "windows/schannel_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace tavorline::win {
namespace {

constexpr char kHandshake = 0x16;
constexpr char kApplicationData = 0x17;

// A record as the wire carries it: type, version 1.2, length, body. The
// package below "encrypts" by leaving bodies as they are.
Bytes record(char type, const std::string& body) {
    Bytes bytes{type, 0x03, 0x03};
    bytes += static_cast<char>(body.size() >> 8);
    bytes += static_cast<char>(body.size() & 0xFF);
    return bytes + body;
}
Bytes handshake(const std::string& body) { return record(kHandshake, body); }
Bytes data(const std::string& body) { return record(kApplicationData, body); }

// The length of the first complete record in `bytes`, 0 when it is cut short.
std::size_t firstRecordSize(const char* bytes, std::size_t size) {
    if (size < 5) return 0;
    const std::size_t length =
        (static_cast<unsigned char>(bytes[3]) << 8) | static_cast<unsigned char>(bytes[4]);
    return size < 5 + length ? 0 : 5 + length;
}

// The host's side of the script: its hello request arrives as a handshake
// record (TLS 1.2), its ticket as application data that DecryptMessage hands
// back whole for the handshake call (TLS 1.3).
struct Script {
    bool helloRequested = false;
    int handshakesDone = 0;
};
Script* script = nullptr;

SECURITY_STATUS giveToken(PSecBufferDesc output, const std::string& token) {
    SecBuffer& buffer = output->pBuffers[0];
    buffer.pvBuffer = std::malloc(token.size() + 1);
    std::memcpy(buffer.pvBuffer, token.data(), token.size());
    buffer.cbBuffer = static_cast<ULONG>(token.size());
    return SEC_I_CONTINUE_NEEDED;
}

SECURITY_STATUS SEC_ENTRY initialize(PCredHandle, PCtxtHandle context, SEC_WCHAR*, ULONG, ULONG,
                                     ULONG, PSecBufferDesc input, ULONG, PCtxtHandle,
                                     PSecBufferDesc output, PULONG, PTimeStamp) {
    if (context == nullptr) return giveToken(output, "hello-1");
    SecBuffer& token = input->pBuffers[0];
    const char* bytes = static_cast<const char*>(token.pvBuffer);
    if (token.cbBuffer == 0) {
        // An empty token asks for the client's new hello.
        if (!std::exchange(script->helloRequested, false)) return SEC_E_INCOMPLETE_MESSAGE;
        return giveToken(output, "hello-2");
    }
    const std::size_t size = firstRecordSize(bytes, token.cbBuffer);
    if (size == 0) return SEC_E_INCOMPLETE_MESSAGE;
    const std::string body(bytes + 5, size - 5);
    if (size < token.cbBuffer) {
        input->pBuffers[1].BufferType = SECBUFFER_EXTRA;
        input->pBuffers[1].cbBuffer = static_cast<ULONG>(token.cbBuffer - size);
    }
    if (bytes[0] == kHandshake && body == "server-hello") return giveToken(output, "key-exchange");
    if ((bytes[0] == kHandshake && body == "finished") ||
        (bytes[0] == kApplicationData && body == "ticket")) {
        ++script->handshakesDone;
        return SEC_E_OK;
    }
    return SEC_E_ILLEGAL_MESSAGE;
}

SECURITY_STATUS SEC_ENTRY decryptMessage(PCtxtHandle, PSecBufferDesc message, ULONG, PULONG) {
    SecBuffer* parts = message->pBuffers;
    char* bytes = static_cast<char*>(parts[0].pvBuffer);
    const std::size_t received = parts[0].cbBuffer;
    const std::size_t size = firstRecordSize(bytes, received);
    if (size == 0) return SEC_E_INCOMPLETE_MESSAGE;
    const std::string body(bytes + 5, size - 5);
    if (bytes[0] == kApplicationData && body == "ticket") {
        parts[1] = {static_cast<ULONG>(received), SECBUFFER_EXTRA, bytes};
        parts[0].BufferType = SECBUFFER_STREAM_HEADER;
        parts[0].cbBuffer = 0;
        return SEC_I_RENEGOTIATE;
    }
    const bool request = bytes[0] == kHandshake && body == "hello-request";
    if (!request && bytes[0] != kApplicationData) return SEC_E_DECRYPT_FAILURE;
    parts[0] = {5, SECBUFFER_STREAM_HEADER, bytes};
    parts[1] = {request ? 0 : static_cast<ULONG>(size - 5), SECBUFFER_DATA, bytes + 5};
    parts[2] = {0, SECBUFFER_STREAM_TRAILER, bytes + size};
    if (size < received) {
        parts[3] = {static_cast<ULONG>(received - size), SECBUFFER_EXTRA, bytes + size};
    }
    if (!request) return SEC_E_OK;
    script->helloRequested = true;
    return SEC_I_RENEGOTIATE;
}

SECURITY_STATUS SEC_ENTRY encryptMessage(PCtxtHandle, ULONG, PSecBufferDesc message, ULONG) {
    SecBuffer* parts = message->pBuffers;
    const Bytes header = data(std::string(parts[1].cbBuffer, ' ')).substr(0, 5);
    std::memcpy(parts[0].pvBuffer, header.data(), 5);
    parts[2].cbBuffer = 0;
    return SEC_E_OK;
}

SECURITY_STATUS SEC_ENTRY queryAttributes(PCtxtHandle, ULONG attribute, void* buffer) {
    if (attribute != SECPKG_ATTR_STREAM_SIZES) return SEC_E_UNSUPPORTED_FUNCTION;
    *static_cast<SecPkgContext_StreamSizes*>(buffer) = {5, 0, 16384, 4, 16};
    return SEC_E_OK;
}

SECURITY_STATUS SEC_ENTRY acquireCredentials(SEC_WCHAR*, SEC_WCHAR*, ULONG, void*, void*,
                                             SEC_GET_KEY_FN, void*, PCredHandle, PTimeStamp) {
    return SEC_E_OK;
}
SECURITY_STATUS SEC_ENTRY freeCredentials(PCredHandle) { return SEC_E_OK; }
SECURITY_STATUS SEC_ENTRY deleteContext(PCtxtHandle) { return SEC_E_OK; }
SECURITY_STATUS SEC_ENTRY applyControlToken(PCtxtHandle, PSecBufferDesc) { return SEC_E_OK; }
SECURITY_STATUS SEC_ENTRY freeBuffer(void* buffer) {
    std::free(buffer);
    return SEC_E_OK;
}

SecurityFunctionTableW scriptedPackage() {
    SecurityFunctionTableW package{};
    package.AcquireCredentialsHandleW = acquireCredentials;
    package.FreeCredentialsHandle = freeCredentials;
    package.InitializeSecurityContextW = initialize;
    package.DeleteSecurityContext = deleteContext;
    package.ApplyControlToken = applyControlToken;
    package.QueryContextAttributesW = queryAttributes;
    package.FreeContextBuffer = freeBuffer;
    package.EncryptMessage = encryptMessage;
    package.DecryptMessage = decryptMessage;
    return package;
}

class SchannelSessionTest : public ::testing::Test {
protected:
    SchannelSessionTest() { script = &state; }
    ~SchannelSessionTest() override { script = nullptr; }

    void establish() {
        ASSERT_EQ(session.start(), "hello-1");
        ASSERT_EQ(session.continueHandshake(handshake("server-hello")), "key-exchange");
        ASSERT_EQ(session.continueHandshake(handshake("finished")), "");
        ASSERT_TRUE(session.established());
    }

    Script state;
    const SecurityFunctionTableW package = scriptedPackage();
    SchannelSession session{L"pay.example", TlsVersion::V1_2, package};
};

// A TLS 1.2 host asks for a new handshake between two records of the call:
// our new hello goes out at once, the host's handshake records go to the
// handshake call (the last one arriving in two pieces), and the application
// data around them is decrypted as before.
TEST_F(SchannelSessionTest, AnswersTheHostsHelloRequestAndTheCallReadsOn) {
    establish();
    EXPECT_EQ(session.decrypt(data("before") + handshake("hello-request") + data("during")),
              "beforeduring");
    EXPECT_EQ(session.takeReply(), "hello-2");

    const Bytes rest = handshake("server-hello") + handshake("finished") + data("after");
    const std::size_t cut = handshake("server-hello").size() + 3;
    EXPECT_EQ(session.decrypt(rest.substr(0, cut)), "");
    EXPECT_EQ(session.takeReply(), "key-exchange");
    EXPECT_EQ(session.decrypt(rest.substr(cut)), "after");
    EXPECT_EQ(session.takeReply(), "");
    EXPECT_EQ(state.handshakesDone, 2);

    EXPECT_EQ(session.decrypt(data("next")), "next");
    EXPECT_EQ(session.encrypt("PING"), data("PING"));
    EXPECT_FALSE(session.closedByHost());
}

// A TLS 1.3 ticket comes back from DecryptMessage whole; the handshake call
// takes it, and the data behind it is read.
TEST_F(SchannelSessionTest, HandsATls13TicketToTheHandshakeCall) {
    establish();
    EXPECT_EQ(session.decrypt(data("ticket") + data("reply")), "reply");
    EXPECT_EQ(session.takeReply(), "");
    EXPECT_EQ(state.handshakesDone, 2);
    EXPECT_EQ(session.decrypt(data("more")), "more");
}

}  // namespace
}  // namespace tavorline::win
