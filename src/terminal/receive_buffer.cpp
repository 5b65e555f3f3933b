#include "terminal/receive_buffer.h"

#include <algorithm>

#include "support/framing.h"

namespace tavorline {
namespace {

constexpr BytesView kRedial = "CCCCCC\x0C\x0C\x0C";

bool endsWithTriple(const Bytes& bytes) {
    const std::size_t n = bytes.size();
    return n >= 3 && bytes[n - 1] == bytes[n - 2] && bytes[n - 2] == bytes[n - 3];
}

}  // namespace

void ReceiveBuffer::append(char byte) {
    bytes_.push_back(byte);
    noteLastByte();
}

void ReceiveBuffer::assign(BytesView bytes) {
    bytes_.assign(bytes);
    rescan();
}

void ReceiveBuffer::clear() {
    bytes_.clear();
    rescan();
}

void ReceiveBuffer::keepTail(std::size_t keep) {
    if (bytes_.size() > keep) {
        bytes_.erase(0, bytes_.size() - keep);
        rescan();
    }
}

// A sequence that is in the buffer was completed by some byte appended since
// the last cut, so looking at the end of the buffer after each byte is enough.
void ReceiveBuffer::noteLastByte() {
    const char byte = bytes_.back();
    if (byte == ctl::ETX) etx_ = true;
    if (endsWithTriple(bytes_)) {
        threeCr_ = threeCr_ || byte == ctl::CR;
        threeLf_ = threeLf_ || byte == ctl::LF;
        threeFf_ = threeFf_ || byte == ctl::FF;
        threeVt_ = threeVt_ || byte == ctl::VT;
    }
    if (byte == ctl::FF && BytesView(bytes_).ends_with(kRedial)) redial_ = true;
}

void ReceiveBuffer::rescan() {
    threeCr_ = contains(bytes_, repeated(ctl::CR, 3));
    threeLf_ = contains(bytes_, repeated(ctl::LF, 3));
    threeFf_ = contains(bytes_, repeated(ctl::FF, 3));
    threeVt_ = contains(bytes_, repeated(ctl::VT, 3));
    etx_ = bytes_.find(ctl::ETX) != Bytes::npos;
    redial_ = contains(bytes_, kRedial);
}

}  // namespace tavorline
