// Any byte stream from a web screen on the local bridge, in pieces of any
// size: the frame reader cuts the same frames, or refuses the stream for the
// same reason, however the stream is split; every frame it hands on is one
// the format allows and is exactly the bytes it took; and the gateway
// handles each as the window messages it stands for.
#include <vector>

#include "app/web_bridge_frame.h"
#include "fuzz_gateway.h"

using namespace tavorline;
using namespace tavorline::fuzzing;

namespace {

struct Outcome {
    std::vector<BridgeFrame> frames;
    BridgeFrameReader::Status last = BridgeFrameReader::Status::NeedMore;
    Bytes error;
    std::size_t pending = 0;
};

// Pieces of 1 .. 256 bytes; a frame may be taken between any two.
Outcome readInPieces(BytesView stream, std::size_t piece) {
    Outcome out;
    BridgeFrameReader reader;
    do {
        const BytesView next = stream.substr(0, piece);
        stream.remove_prefix(next.size());
        reader.append(next);
        BridgeFrame frame;
        while ((out.last = reader.next(frame)) == BridgeFrameReader::Status::Frame) {
            out.frames.push_back(frame);
        }
    } while (!stream.empty() && out.last == BridgeFrameReader::Status::NeedMore);
    out.error = reader.error();
    out.pending = reader.pending();
    return out;
}

bool sameFrame(const BridgeFrame& a, const BridgeFrame& b) {
    return a.message == b.message && a.wParam == b.wParam && a.lParam == b.lParam &&
           a.payload == b.payload;
}

void putLittleEndian(Bytes& out, std::uint64_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The frame as it must have stood in the stream.
Bytes wireForm(const BridgeFrame& frame) {
    Bytes out;
    putLittleEndian(out, kMinFrameLength + frame.payload.size(), 4);
    putLittleEndian(out, frame.message, 4);
    putLittleEndian(out, frame.wParam, 8);
    putLittleEndian(out, frame.lParam, 8);
    return out + frame.payload;
}

bool allowed(const BridgeFrame& frame) {
    switch (frame.message) {
        case kWmWebHandle:
            return frame.lParam != 0 && frame.payload.empty();
        case kWmCopyData:
            return frame.payload.size() >= kDwDataSize &&
                   frame.payload.size() <= kMaxFrameLength - kMinFrameLength;
        case kBridgeReply:
            return frame.payload.empty();
        default:
            return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzGateway fuzz;
    if (size < 1) return 0;
    const BytesView stream(reinterpret_cast<const char*>(data + 1), size - 1);
    const Outcome pieces = readInPieces(stream, std::size_t{data[0]} + 1);
    const Outcome whole = readInPieces(stream, stream.size() + 1);

    require(pieces.frames.size() == whole.frames.size() && pieces.last == whole.last &&
            pieces.error == whole.error);
    require((pieces.last == BridgeFrameReader::Status::Malformed) == !pieces.error.empty());
    std::size_t taken = 0;
    for (std::size_t i = 0; i < pieces.frames.size(); ++i) {
        const BridgeFrame& frame = pieces.frames[i];
        require(sameFrame(frame, whole.frames[i]) && allowed(frame));
        const Bytes wire = wireForm(frame);
        require(stream.substr(taken, wire.size()) == wire);
        taken += wire.size();
    }
    if (pieces.last == BridgeFrameReader::Status::NeedMore) {
        require(taken + pieces.pending == stream.size() && pieces.pending == whole.pending);
    }

    // What the bridge passes on: a registration, or the data block.
    for (const BridgeFrame& frame : pieces.frames) {
        if (frame.message == kWmWebHandle) {
            fuzz.gateway.WMWebHandle(frame.lParam);
            require(fuzz.gateway.webHandle() == frame.lParam);
        } else if (frame.message == kWmCopyData) {
            fuzz.webScreenSends(copyDataBlock(frame));
        }
    }
    fuzz.toIdle();
    return 0;
}
