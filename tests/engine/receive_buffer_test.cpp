// What the receive buffer knows about itself must match its bytes exactly,
// however they got there.
#include <gtest/gtest.h>

#include <random>

#include "support/framing.h"
#include "terminal/receive_buffer.h"

namespace tavorline {
namespace {

void expectFlagsMatchBytes(const ReceiveBuffer& buffer) {
    const Bytes& bytes = buffer.bytes();
    EXPECT_EQ(buffer.hasThreeCr(), contains(bytes, "\r\r\r"));
    EXPECT_EQ(buffer.hasThreeLf(), contains(bytes, "\n\n\n"));
    EXPECT_EQ(buffer.hasThreeFf(), contains(bytes, "\f\f\f"));
    EXPECT_EQ(buffer.hasThreeVt(), contains(bytes, "\v\v\v"));
    EXPECT_EQ(buffer.hasEtx(), contains(bytes, "\x03"));
    EXPECT_EQ(buffer.hasRedial(), contains(bytes, "CCCCCC\f\f\f"));
}

TEST(ReceiveBuffer, FlagsFollowAppendsCutsAndTails) {
    // Few distinct bytes, so the sequences turn up often.
    const char alphabet[] = {'\r', '\n', '\f', '\v', '\x03', 'C', 'x'};
    std::mt19937 random(7);
    ReceiveBuffer buffer;
    for (int step = 0; step < 20000; ++step) {
        const auto roll = random() % 100;
        if (roll < 90) {
            buffer.append(alphabet[random() % sizeof alphabet]);
        } else if (roll < 95) {
            const Bytes& bytes = buffer.bytes();
            buffer.assign(bytes.substr(bytes.empty() ? 0 : random() % bytes.size()));
        } else if (roll < 98) {
            buffer.keepTail(random() % 10);
        } else {
            buffer.clear();
        }
        expectFlagsMatchBytes(buffer);
        if (::testing::Test::HasFailure()) FAIL() << "after step " << step;
    }
}

TEST(ReceiveBuffer, RedialNeedsSixLettersBeforeTheFeeds) {
    ReceiveBuffer buffer;
    for (char byte : Bytes("CCCCC\f\f\f")) buffer.append(byte);
    EXPECT_FALSE(buffer.hasRedial());
    buffer.clear();
    for (char byte : Bytes("xCCCCCCC\f\f\f")) buffer.append(byte);
    EXPECT_TRUE(buffer.hasRedial());
    EXPECT_TRUE(buffer.hasThreeFf());
}

}  // namespace
}  // namespace tavorline
