// The web bridge's frames: their bytes, and how a stream is cut into them.
#include "app/web_bridge_frame.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavorline {
namespace {

using namespace std::chrono_literals;

Bytes bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int value : values) out += static_cast<char>(value);
    return out;
}

TEST(WebBridgeFrame, IntegersAreLittleEndian) {
    EXPECT_EQ(copyDataFrame(0x0102030405060708, kWebTextTag, Bytes("ab\0", 3)),
              bytes({31, 0, 0, 0}) + bytes({0x4A, 0, 0, 0}) + bytes({8, 7, 6, 5, 4, 3, 2, 1}) +
                  Bytes(8, '\0') + bytes({0x84, 0x0E, 0, 0, 0, 0, 0, 0}) + Bytes("ab\0", 3));
    EXPECT_EQ(webHandleFrame(0x1234).substr(0, 8), bytes({20, 0, 0, 0, 0x32, 0x0B, 0, 0}));
    EXPECT_EQ(webHandleFrame(0x1234).substr(16), bytes({0x34, 0x12, 0, 0, 0, 0, 0, 0}));
}

TEST(WebBridgeFrame, ReaderTakesFramesFromPiecesOfAnySize) {
    const Bytes stream = webHandleFrame(~0ull) + copyDataFrame(7, 99, "") +
                         copyDataFrame(0, 1, Bytes(kMaxDataBlock, 'x')) + replyFrame(5);
    BridgeFrameReader reader;
    std::vector<BridgeFrame> frames;
    BridgeFrame frame;
    for (char byte : stream) {
        reader.append(BytesView(&byte, 1));
        while (reader.next(frame) == BridgeFrameReader::Status::Frame) frames.push_back(frame);
    }
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].message, kWmWebHandle);
    EXPECT_EQ(frames[0].lParam, ~0ull);
    EXPECT_EQ(frames[1].wParam, 7u);
    EXPECT_EQ(copyDataTag(frames[1]), 99u);
    EXPECT_EQ(copyDataBlock(frames[1]), "");
    EXPECT_EQ(copyDataBlock(frames[2]).size(), kMaxDataBlock);
    EXPECT_EQ(frames[3].message, kBridgeReply);
    EXPECT_EQ(frames[3].lParam, 5u);
    EXPECT_EQ(reader.pending(), 0u);
}

// Refused from the header alone: a client speaking something else is closed
// without waiting for a body that may never come.
TEST(WebBridgeFrame, MalformedHeadersAreRefusedAtOnce) {
    const Bytes handleHeader = bytes({20, 0, 0, 0, 0x32, 0x0B, 0, 0}) + Bytes(8, '\0');
    const std::pair<Bytes, const char*> cases[] = {
        {bytes({19, 0, 0, 0}), "frame length 19 is below 20"},
        {bytes({1, 0, 1, 0}), "frame length 65537 exceeds 65536"},
        {bytes({20, 0, 0, 0, 0x4A, 0, 1, 0}), "unknown message 0x1004A"},
        {bytes({21, 0, 0, 0, 0x32, 0x0B, 0, 0}), "WM_WEBHANDLE with a payload"},
        {handleHeader + Bytes(8, '\0'), "WM_WEBHANDLE without a handle"},
        {bytes({27, 0, 0, 0, 0x4A, 0, 0, 0}), "WM_COPYDATA without dwData"},
        {bytes({21, 0, 0, 0, 0, 0, 0, 0}), "reply with a payload"},
    };
    for (const auto& [stream, reason] : cases) {
        BridgeFrameReader reader;
        reader.append(stream);
        BridgeFrame frame;
        EXPECT_EQ(reader.next(frame), BridgeFrameReader::Status::Malformed) << reason;
        EXPECT_EQ(reader.error(), reason);
        reader.append(replyFrame());
        EXPECT_EQ(reader.next(frame), BridgeFrameReader::Status::Malformed) << "stays refused";
    }
    BridgeFrameReader waiting;
    waiting.append(handleHeader);
    BridgeFrame frame;
    EXPECT_EQ(waiting.next(frame), BridgeFrameReader::Status::NeedMore) << "handle not yet read";
}

TEST(WebBridgeFrame, ReplyTimeoutIsSecondsFromOneToTen) {
    EXPECT_EQ(webReplyTimeout("Empty"), 3s);
    EXPECT_EQ(webReplyTimeout("0"), 3s);
    EXPECT_EQ(webReplyTimeout("-2"), 3s);
    EXPECT_EQ(webReplyTimeout(" 5"), 5s);
    EXPECT_EQ(webReplyTimeout("60"), 10s);
}

}  // namespace
}  // namespace tavorline
