// The terminal's request goes to the host once the line has been quiet for
// 100 ms: encrypted for the call's mode, shown, logged with the card number
// masked, and split into the request fields.
#include <algorithm>
#include <vector>

#include "app/gateway.h"
#include "support/framing.h"
#include "support/masked_message.h"
#include "support/text_format.h"
#include "support/texts.h"

namespace tavorline {
namespace {

// Up to this size a request is a control answer of the terminal (an ACK and
// the like), sent as it is.
constexpr std::size_t kShortRequest = 20;
constexpr BytesView kStx{&ctl::STX, 1};
constexpr BytesView kFs{&ctl::FS, 1};
constexpr BytesView kKeyedTag = "TVLN";

// STX and what follows the first STX; a single STX when there is none.
Bytes cutAtStx(const Bytes& buffer) {
    const auto stx = buffer.find(ctl::STX);
    return stx == Bytes::npos ? Bytes(kStx) : buffer.substr(stx);
}

// The part from a trailer marker to the end (check character included) is
// not shown: it carries no fields.
void dropTrailer(Bytes& frame, BytesView marker) {
    if (const auto at = frame.find(marker); at != Bytes::npos)
        frame = frame.substr(0, at) + ctl::ETX;
}

// Field 3 holds the card number, perhaps followed by "=" and track data.
Bytes maskedCardField(const Bytes& field, Bytes& rest) {
    const auto equals = field.find('=');
    const std::size_t n = field.size();
    if (equals != Bytes::npos) {
        if (n <= 8) return field + ctl::FS;
        const std::size_t p = equals + 1;  // 1-based position of "="
        const std::size_t keepStart = p >= 9 ? p - 9 : 0;
        // The four bytes before "=" and the "=" itself; with "=" nearer the
        // start there are fewer, and nothing after it is shown in clear.
        const std::size_t tailStart = p >= 5 ? p - 5 : 0;
        return field.substr(0, keepStart) + "xxxx" + field.substr(tailStart, p - tailStart) +
               Repeat_Str(static_cast<int>(n - p), "X") + ctl::FS;
    }
    if (n < 8) return field + ctl::FS;
    // Without track data the next field is the expiry date.
    const Bytes expiry = Get_Token(rest, kFs);
    return field.substr(0, n - 8) + "xxxx" + field.substr(n - 4) + ctl::FS +
           Repeat_Str(static_cast<int>(expiry.size()), "X") + ctl::FS;
}

Bytes maskedLogText(const Bytes& readable) {
    Bytes rest = readable;
    Bytes text = Get_Token(rest, kFs) + ctl::FS;
    text += Get_Token(rest, kFs) + ctl::FS;
    const Bytes card = Get_Token(rest, kFs);
    text += maskedCardField(card, rest);
    return text + rest;
}

std::vector<Bytes> requestFields(const Bytes& readable) {
    std::vector<Bytes> fields(15);
    Bytes rest = readable;
    Get_Token(rest, kStx);
    const Bytes first = Get_Token(rest, kFs);
    fields[1] = first.substr(std::min<std::size_t>(10, first.size()), 2);
    fields[2] = Get_Token(rest, kFs);
    const Bytes card = Get_Token(rest, kFs);
    fields[3] = card.substr(0, 1);
    const Bytes afterKind = card.substr(std::min<std::size_t>(1, card.size()));
    fields[4] = afterKind.substr(0, afterKind.find('='));
    if (fields[3] == "@" || fields[3] == "P") {
        fields[5] = Get_Token(rest, kFs);
    } else if (const auto equals = card.find('='); equals != Bytes::npos) {
        fields[5] = card.substr(equals + 1, 4);
    }
    for (std::size_t i = 6; i <= 14; ++i) fields[i] = Get_Token(rest, kFs);
    return fields;
}

}  // namespace

void Gateway::DGetTimerTimer() {
    ports_.DGetTimer.setEnabled(false);
    if (call_.RecvBuf.size() <= kShortRequest) {
        forwardShortRequest();
    } else {
        forwardFullRequest();
    }
}

void Gateway::forwardShortRequest() {
    log(Format("[SR   %s][%s]", {now(), call_.RecvBuf.bytes()}));
    try {
        writeToHost(call_.RecvBuf.bytes());
        call_.RecvBuf.clear();
    } catch (const std::exception&) {
        keepForNextRequest();
    }
}

// A request the host could not take stays for the next one while the link
// is up. Once the link is gone nothing can send it, and left in the buffer
// it would hide the terminal's hang-up ("CCCCC" counts only at the start).
void Gateway::keepForNextRequest() {
    if (!host_.Connected()) call_.RecvBuf.clear();
}

void Gateway::forwardFullRequest() {
    const Bytes frame = cutAtStx(call_.RecvBuf.bytes());
    call_.RecvBuf.assign(frame);
    Bytes out = frame;
    if (call_.DestMode == "CR" || call_.DestMode == "LF") cipher_.SeedCrypt('E', frame, out);
    if (call_.DestMode == "AD") out = cipher_.Des3Crypt('E', frame);
    try {
        writeToHost(out);
    } catch (const std::exception&) {
        keepForNextRequest();
        return;
    }
    ports_.ui.setDisplayField(DisplayField::Request1, Str_ToHex(frame));
    Bytes readable = frame;
    dropTrailer(readable, "\x1DGP");
    dropTrailer(readable,
                "\x19"
                "EM");
    if (isMaskedMessage(readable)) readable = Unmask_Frame(readable);
    ports_.ui.setDisplayField(DisplayField::Request2, readable);
    log(Format("[CR   %s][%s]", {now(), maskedLogText(readable)}));
    disp_mess(call_.HostAddr + "/" + call_.HostPort + Bytes(texts::kStatusQuerying));
    call_.RecvBuf.clear();
    call_.CallStage = 4;
    ReqFields = requestFields(readable);
}

// Once the key exchange is done every request goes sealed with the session key.
void Gateway::writeToHost(const Bytes& bytes) {
    if (call_.KeyStage != 3) {
        host_.Write(bytes);
        return;
    }
    std::vector<unsigned char> area(keyExchangeAreaSize(bytes.size()));
    const int count = cipher_.GetRasEncData(
        kKeyedTag.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
        static_cast<int>(bytes.size()), call_.cipherKey.data(), area.data());
    host_.WriteBuffer(area.data(), std::min(count, static_cast<int>(area.size())));
}

}  // namespace tavorline
