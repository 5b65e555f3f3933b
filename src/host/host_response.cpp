// Everything the host sends passes through the receive hook, one socket read
// (a chunk) at a time. A chunk is a unit: nothing carries over to the next.
#include <algorithm>
#include <vector>

#include "app/gateway.h"
#include "host/last_data_record.h"
#include "support/framing.h"
#include "support/masked_message.h"
#include "support/text_format.h"
#include "support/texts.h"

namespace tavorline {
namespace {

// Chunks of this size or less are control answers, passed down unread.
constexpr std::size_t kShortChunk = 6;
constexpr BytesView kStx{&ctl::STX, 1};
constexpr BytesView kFs{&ctl::FS, 1};
constexpr BytesView kSi{&ctl::SI, 1};
constexpr BytesView kEtx{&ctl::ETX, 1};
constexpr BytesView kThreeEsc = "\x1B\x1B\x1B";

bool isControlChunk(BytesView data) {
    for (const char byte : {ctl::ACK, ctl::NAK, ctl::DLE, ctl::ESC, ctl::ENQ}) {
        if (data.starts_with(repeated(byte, 3))) return true;
    }
    return false;
}

std::vector<Bytes> responseFields(const Bytes& readable) {
    std::vector<Bytes> fields(35);
    Bytes rest = readable;
    Get_Token(rest, kStx);
    const Bytes header = Get_Token(rest, kFs);
    const auto headerPart = [&header](std::size_t from, std::size_t length) {
        return header.substr(std::min(from, header.size()), length);
    };
    fields[1] = headerPart(10, 2);
    fields[2] = headerPart(12, 1);
    fields[3] = headerPart(13, 1);
    fields[4] = headerPart(14, 4);
    fields[5] = headerPart(18, 2);
    for (std::size_t i = 6; i <= 13; ++i) fields[i] = Get_Token(rest, kFs);
    fields[14] = Get_Token(rest, kSi);
    for (std::size_t i = 15; i <= 33; ++i) fields[i] = Get_Token(rest, kFs);
    fields[34] = Get_Token(rest, kEtx);
    return fields;
}

}  // namespace

void Gateway::IdConnectionIntercept1Receive(BytesView chunk) {
    Bytes data(chunk);
    switch (call_.KeyStage) {
        case 1:
            answerKeyExchange(data);
            return;
        case 2:
            finishKeyExchange(data);
            return;
        case 3:
            data = decryptKeyed(data);
            break;
        default:
            break;
    }
    const std::size_t size = chunk.size();
    if (isControlChunk(data)) {
        relayControl(data, size);
    } else if (call_.DestMode == "VT" || data.size() <= kShortChunk) {
        passThrough(data, size);
    } else {
        relayResponse(data, size);
    }
}

// The host's first chunk carries its public key; the answer is our session
// key, sealed with it.
void Gateway::answerKeyExchange(const Bytes& data) {
    std::vector<unsigned char> area(keyExchangeAreaSize(data.size()));
    const int count =
        cipher_.GetRsa3DesKey(reinterpret_cast<const unsigned char*>(data.data()),
                              static_cast<int>(data.size()), call_.cipherKey.data(), area.data());
    host_.WriteBuffer(area.data(), std::min(count, static_cast<int>(area.size())));
    call_.KeyStage = 2;
}

// Three ACK: the host has the key, and the terminal gets its ENQ now.
// Anything else is a failed exchange and ends the call.
void Gateway::finishKeyExchange(const Bytes& data) {
    if (!BytesView(data).starts_with("\x06\x06\x06")) {
        BT_INITClick();
        return;
    }
    sendSevenEnq();
    call_.KeyStage = 3;
}

Bytes Gateway::decryptKeyed(const Bytes& data) {
    std::vector<unsigned char> area(keyExchangeAreaSize(data.size()));
    const int count =
        cipher_.GetRasDecData(reinterpret_cast<const unsigned char*>(data.data()),
                              static_cast<int>(data.size()), call_.cipherKey.data(), area.data());
    if (count <= 0) return {};
    return Bytes(reinterpret_cast<const char*>(area.data()),
                 std::min<std::size_t>(static_cast<std::size_t>(count), area.size()));
}

void Gateway::relayControl(const Bytes& data, std::size_t size) {
    log(Format("[LR   %s][%d][%s]", {now(), DecimalText(size), data}));
    AproSend(data);
    if (BytesView(data).find(kThreeEsc) != BytesView::npos) endOfCall();
}

void Gateway::passThrough(const Bytes& data, std::size_t size) {
    AproSend(data);
    log(Format("[DOWN %s][%d]", {now(), DecimalText(size)}));
    call_.RecvBuf.clear();
}

void Gateway::relayResponse(Bytes data, std::size_t size) {
    disp_mess(texts::kStatusResponse);
    const Bytes& mode = call_.DestMode;
    if (mode == "CR" || mode == "LF") {
        const Bytes received = data;
        cipher_.SeedCrypt('D', received, data);
    } else if (mode == "AD") {
        data = cipher_.Des3Crypt('D', data);
    }
    AproSend(data);
    ports_.ui.setDisplayField(DisplayField::Answer1, Str_ToHex(data));
    const Bytes readable = isMaskedMessage(data) ? Unmask_Frame(data) : data;
    ports_.ui.setDisplayField(DisplayField::Answer2, readable);
    log(Format("[LR   %s][%d][%s]", {now(), DecimalText(size), readable}));
    RespFields = responseFields(readable);
}

// Three ESC end the call. An approved transaction leaves its record in the
// configuration file and on the web screen.
void Gateway::endOfCall() {
    if (DispMode) ports_.ui.showDisplayWindow();
    const bool recorded = ReqFields.size() > 1 && isRecordedTransaction(ReqFields[1]);
    const bool approved = RespFields.size() > 7 && RespFields[7] == "0000";
    if (!recorded || !approved) return;
    const Bytes record = buildLastDataRecord(ReqFields, RespFields);
    storeLastData(storableLastData(record));
    WebSend(record);
    RespFields.assign(34, Bytes());
    ReqFields.assign(15, Bytes());
}

// The terminal already has its reply; a record that cannot be stored must
// not vanish silently, and the one stored before stays as it was.
void Gateway::storeLastData(const Bytes& record) {
    try {
        config_.Ini_Write(kSection, "LastData", record, config_.iniPath());
    } catch (const ConfigWriteError& error) {
        log(Format("[ERR  %s][%s]", {now(), error.what()}));
        disp_mess(error.what());
    }
}

void Gateway::WebSend(BytesView text) {
    ports_.web.send(webHandle_, text);
    disp_mess(texts::kStatusWebSent);
}

}  // namespace tavorline
