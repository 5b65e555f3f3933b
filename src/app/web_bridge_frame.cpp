#include "app/web_bridge_frame.h"

#include <algorithm>

#include "support/framing.h"
#include "support/seconds_setting.h"
#include "support/text_format.h"

namespace tavorline {
namespace {

constexpr std::size_t kMessageAt = kFrameLengthField;
constexpr std::size_t kLParamAt = kFrameLengthField + 4 + 8;
constexpr std::size_t kHeaderSize = kFrameLengthField + kMinFrameLength;

void putLittleEndian(Bytes& out, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t littleEndian(BytesView bytes, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= std::uint64_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
    }
    return value;
}

Bytes frame(std::uint32_t message, std::uint64_t wParam, std::uint64_t lParam,
            std::initializer_list<BytesView> payload) {
    std::size_t payloadSize = 0;
    for (BytesView part : payload) payloadSize += part.size();
    Bytes out;
    out.reserve(kHeaderSize + payloadSize);
    putLittleEndian(out, kMinFrameLength + payloadSize, 4);
    putLittleEndian(out, message, 4);
    putLittleEndian(out, wParam, 8);
    putLittleEndian(out, lParam, 8);
    for (BytesView part : payload) out += part;
    return out;
}

Bytes hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    Bytes digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + digits;
}

}  // namespace

Bytes webHandleFrame(std::uint64_t handle) { return frame(kWmWebHandle, 0, handle, {}); }

Bytes copyDataFrame(std::uint64_t senderHandle, std::uint64_t dwData, BytesView block) {
    Bytes tag;
    putLittleEndian(tag, dwData, kDwDataSize);
    return frame(kWmCopyData, senderHandle, 0, {tag, block});
}

Bytes replyFrame(std::uint64_t result) { return frame(kBridgeReply, 0, result, {}); }

std::uint64_t copyDataTag(const BridgeFrame& frame) {
    return littleEndian(frame.payload, 0, kDwDataSize);
}

BytesView copyDataBlock(const BridgeFrame& frame) {
    return BytesView(frame.payload).substr(kDwDataSize);
}

void BridgeFrameReader::append(BytesView bytes) {
    // Taken frames are dropped only once they make up half the buffer, so a
    // burst of small frames is not moved byte by byte for every frame.
    if (start_ > 0 && start_ >= buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    buffer_ += bytes;
}

BridgeFrameReader::Status BridgeFrameReader::next(BridgeFrame& frame) {
    if (!error_.empty()) return Status::Malformed;
    const BytesView rest = BytesView(buffer_).substr(start_);
    if (rest.size() < kFrameLengthField) return Status::NeedMore;
    const auto length = static_cast<std::uint32_t>(littleEndian(rest, 0, 4));
    if (length < kMinFrameLength) {
        return refuse(Format("frame length %s is below %s",
                             {DecimalText(length), DecimalText(kMinFrameLength)}));
    }
    if (length > kMaxFrameLength) {
        return refuse(Format("frame length %s exceeds %s",
                             {DecimalText(length), DecimalText(kMaxFrameLength)}));
    }
    if (rest.size() < kMessageAt + 4) return Status::NeedMore;
    const auto message = static_cast<std::uint32_t>(littleEndian(rest, kMessageAt, 4));
    const std::size_t payloadSize = length - kMinFrameLength;
    switch (message) {
        case kWmWebHandle:
            if (payloadSize != 0) return refuse("WM_WEBHANDLE with a payload");
            break;
        case kWmCopyData:
            if (payloadSize < kDwDataSize) return refuse("WM_COPYDATA without dwData");
            break;
        case kBridgeReply:
            if (payloadSize != 0) return refuse("reply with a payload");
            break;
        default:
            return refuse(Format("unknown message %s", {hex(message)}));
    }
    if (rest.size() < kHeaderSize) return Status::NeedMore;
    const std::uint64_t lParam = littleEndian(rest, kLParamAt, 8);
    if (message == kWmWebHandle && lParam == 0) return refuse("WM_WEBHANDLE without a handle");
    if (rest.size() < kFrameLengthField + length) return Status::NeedMore;

    frame.message = message;
    frame.wParam = littleEndian(rest, kMessageAt + 4, 8);
    frame.lParam = lParam;
    frame.payload.assign(rest.substr(kHeaderSize, payloadSize));
    start_ += kFrameLengthField + length;
    return Status::Frame;
}

BridgeFrameReader::Status BridgeFrameReader::refuse(Bytes why) {
    error_ = std::move(why);
    return Status::Malformed;
}

std::chrono::milliseconds webReplyTimeout(BytesView setting) {
    return secondsSetting(setting, 3, 10);
}

}  // namespace tavorline
