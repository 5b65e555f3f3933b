// AproSend: the only way bytes reach the terminal.
#include "app/gateway.h"
#include "support/text_format.h"

namespace tavorline {
namespace {

// The serial queue holds 4096 bytes, so a chunk always fits it.
constexpr std::size_t kChunkSize = 4096;
constexpr std::chrono::milliseconds kDrainPoll{50};
// A full chunk takes about 4.3 s at 9600 baud. A queue that has not moved for
// this many polls belongs to a line that is gone: give up instead of hanging
// the counter.
constexpr int kStalledPolls = 200;

}  // namespace

void Gateway::AproSend(BytesView text) {
    call_.WatchCount = 30;
    call_.TMTag = 1;
    SerialPort& serial = ports_.serial;
    if (!serial.isOpen()) return;
    // A failing line drops the rest of the text; the caller is not told.
    try {
        do {
            serial.flushOutBuffer();
            const BytesView chunk = text.substr(0, kChunkSize);
            text.remove_prefix(chunk.size());
            serial.putString(chunk);
            waitUntilSent();
        } while (!text.empty());
    } catch (const std::exception&) {
    }
}

void Gateway::AproLineLost(BytesView reason) {
    const Bytes text = "COM" + config_.record().EcPort + ": " + Bytes(reason);
    log(Format("[COM  %s][%s]", {now(), text}));
    disp_mess(text);
}

void Gateway::AproLineBack() {
    log(Format("[COM  %s][%s]", {now(), "COM" + config_.record().EcPort + ": the device is back"}));
    BT_INITClick();
}

void Gateway::waitUntilSent() {
    int stalled = 0;
    for (int used = ports_.serial.outBuffUsed(); used > 0;) {
        ports_.clock.wait(kDrainPoll);
        const int now = ports_.serial.outBuffUsed();
        stalled = now < used ? 0 : stalled + 1;
        if (stalled >= kStalledPolls) throw SerialError("serial output does not drain");
        used = now;
    }
}

}  // namespace tavorline
