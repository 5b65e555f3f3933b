#pragma once

#include "fake_cipher_exports.h"
#include "gateway_fixture.h"
#include "support/framing.h"

namespace tavorline::testing {

// A request as a terminal sends it: transaction code "D1" at bytes 11..12
// of field 1 (after the STX), the card in field 3, fields 4..14 named after
// their number.
inline Bytes requestBody(BytesView card = "K4111111111111111=2512101") {
    Bytes body = "TR12345678D1";
    body += ctl::FS;
    body += "00000001";
    body += ctl::FS;
    body += card;
    for (int field = 4; field <= 14; ++field) body += ctl::FS + ("q" + std::to_string(field));
    return body;
}

// A host response whose fields are "r<entry>", entry 7 carrying the result.
inline Bytes responseFrame(BytesView result = "0000") {
    Bytes frame;
    frame += ctl::STX;
    frame +=
        "HDR4567890"
        "R1"
        "a"
        "b"
        "cccc"
        "dd";
    frame += ctl::FS;
    for (int entry = 6; entry <= 34; ++entry) {
        frame += entry == 7 ? Bytes(result) : "r" + std::to_string(entry);
        frame += entry == 14 ? ctl::SI : entry == 34 ? ctl::ETX : ctl::FS;
    }
    return frame;
}

class PaymentFixture : public GatewayFixture {
protected:
    void SetUp() override {
        fake_cipher::install(library);
        fake_cipher::seedResultOverride = 0;
        fake_cipher::rsaKeyResult.reset();
        start();
    }
    void connectCall(BytesView dial = "\x0A\x0A\x0A", BytesView line = "IP10.1.2.3/5000\r\r\r") {
        terminalSends(dial);
        terminalSends(line);
        serial.chunks.clear();
        host.writes.clear();
        clock.waits.clear();
    }
    void setType(const char* type) {
        setIni("EcType", type);
        gateway.BT_INITClick();
    }
    // The terminal sends a request and the line goes quiet.
    void request(BytesView bytes) {
        terminalSends(bytes);
        gateway.DGetTimerTimer();
    }
    void hostSends(BytesView chunk) { host.events->onReceived(chunk); }
    const Bytes& lastLog() {
        lines_ = logLines();
        return lines_.back();
    }

private:
    std::vector<Bytes> lines_;
};

}  // namespace tavorline::testing
