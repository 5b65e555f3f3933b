// What the gateway does when the host link connects, drops or reports status.
#include "app/gateway.h"
#include "support/text_format.h"
#include "support/texts.h"

namespace tavorline {
namespace {

constexpr std::chrono::milliseconds kEnqPause{200};
constexpr BytesView kSevenEnq = "\x05\x05\x05\x05\x05\x05\x05";

}  // namespace

void Gateway::IdConnectionIntercept1Connect() {
    ports_.ui.clearDisplay();
    log(Format("[HOST %s][%s]", {now(), Bytes(texts::kLogConnected) + destinationText() + ")"}));
    const Bytes& mode = call_.DestMode;
    if (mode == "LF" || mode == "FF" || mode == "AD") sendSevenEnq();
    // In mode AR the ENQ wait until the host has taken the session key.
    if (mode == "AR") call_.KeyStage = 1;
}

void Gateway::sendSevenEnq() {
    log(Format("[SW   %s][%s]", {now(), texts::kLogEnqSent}));
    ports_.clock.wait(kEnqPause);
    AproSend(kSevenEnq);
}

void Gateway::IdConnectionIntercept1Disconnect() {
    log(Format("[HOST %s][%s]", {now(), Bytes(texts::kLogDisconnected) + destinationText() + ")"}));
}

// One line per TLS connect, trusted or not: the pin to put into TlsPin is
// then in the log already when a shop turns the check on.
void Gateway::hostKeyPresented(BytesView pin, bool trusted) {
    const BytesView verdict = trusted ? texts::kLogHostKey : texts::kLogHostKeyRefused;
    log(Format("[HOST %s][%s]",
               {now(), Bytes(verdict) + Bytes(pin) + " (" + destinationText() + ")"}));
}

void Gateway::HOSTStatus(BytesView text) { log(Format("[SOCK %s][%s]", {now(), text})); }

}  // namespace tavorline
