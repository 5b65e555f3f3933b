#pragma once

#include "support/bytes.h"

namespace tavorline {

// RecvBuf: the bytes received from the terminal since the last cut. Besides
// the bytes it keeps, per byte appended, whether each sequence the handshake
// looks for "anywhere" is present, so that testing for them after every byte
// costs the same whatever the buffer's length.
class ReceiveBuffer {
public:
    void append(char byte);
    void assign(BytesView bytes);
    void clear();

    const Bytes& bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }
    bool empty() const { return bytes_.empty(); }

    bool hasThreeCr() const { return threeCr_; }
    bool hasThreeLf() const { return threeLf_; }
    bool hasThreeFf() const { return threeFf_; }
    bool hasThreeVt() const { return threeVt_; }
    bool hasEtx() const { return etx_; }
    // "CCCCCC" followed by three FF.
    bool hasRedial() const { return redial_; }

    // Drops all but the last `keep` bytes.
    void keepTail(std::size_t keep);

private:
    void noteLastByte();
    void rescan();

    Bytes bytes_;
    bool threeCr_ = false;
    bool threeLf_ = false;
    bool threeFf_ = false;
    bool threeVt_ = false;
    bool etx_ = false;
    bool redial_ = false;
};

}  // namespace tavorline
