#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "support/bytes.h"

// The web screen's window messages carried over a byte stream, for systems
// without window messages (docs/web-bridge.md). One frame, integers
// little-endian:
//
//   u32 length   of everything after this field: 20 + payload size
//   u32 message  kWmWebHandle, kWmCopyData or kBridgeReply
//   u64 wParam
//   u64 lParam
//   payload      WM_COPYDATA only: u64 dwData, then the data block
namespace tavorline {

// Not named WM_COPYDATA and so on: the Windows headers make those macros.
inline constexpr std::uint32_t kBridgeReply = 0;  // lParam: the answered message's result
inline constexpr std::uint32_t kWmCopyData = 0x004A;
inline constexpr std::uint32_t kWmWebHandle = 0x0B32;

// dwData of every text the gateway sends to the web screen.
inline constexpr std::uint64_t kWebTextTag = 3716;

inline constexpr std::size_t kFrameLengthField = 4;
// message, wParam and lParam: the least a length can announce.
inline constexpr std::uint32_t kMinFrameLength = 4 + 8 + 8;
// Far above anything the web screen exchanges (a 600-byte record); a length
// beyond it is a client speaking something else, not a big message.
inline constexpr std::uint32_t kMaxFrameLength = 64 * 1024;
inline constexpr std::size_t kDwDataSize = 8;
// The longest data block that fits one frame.
inline constexpr std::size_t kMaxDataBlock = kMaxFrameLength - kMinFrameLength - kDwDataSize;

struct BridgeFrame {
    std::uint32_t message = kBridgeReply;
    std::uint64_t wParam = 0;
    std::uint64_t lParam = 0;
    Bytes payload;
};

// The frames as they go on the wire. The caller keeps data blocks within
// kMaxDataBlock.
Bytes webHandleFrame(std::uint64_t handle);
Bytes copyDataFrame(std::uint64_t senderHandle, std::uint64_t dwData, BytesView block);
Bytes replyFrame(std::uint64_t result = 0);

// dwData and the data block of a WM_COPYDATA frame that the reader accepted.
std::uint64_t copyDataTag(const BridgeFrame& frame);
BytesView copyDataBlock(const BridgeFrame& frame);

// Cuts frames out of a byte stream that arrives in pieces of any size, and
// refuses a stream that breaks the format as soon as the header shows it: a
// length outside kMinFrameLength..kMaxFrameLength, an unknown message, a
// registration without a handle or with a payload, a WM_COPYDATA without its
// dwData, a reply with a payload. Fields the receiver does not use (wParam of
// WM_WEBHANDLE, lParam of WM_COPYDATA) are not checked.
class BridgeFrameReader {
public:
    enum class Status { NeedMore, Frame, Malformed };

    void append(BytesView bytes);
    // Frame: `frame` holds the next frame. Malformed: error() says why, and the
    // stream is of no further use.
    Status next(BridgeFrame& frame);
    const Bytes& error() const { return error_; }
    // Bytes received that no frame has taken yet.
    std::size_t pending() const { return buffer_.size() - start_; }

private:
    Status refuse(Bytes why);

    Bytes buffer_;
    std::size_t start_ = 0;
    Bytes error_;
};

// How long the gateway waits for the web screen to handle a text it sent:
// the WebTimeout setting in seconds, 3 when missing or not a positive
// number, at most 10.
std::chrono::milliseconds webReplyTimeout(BytesView setting);

}  // namespace tavorline
