#include "support/text_format.h"

#include <gtest/gtest.h>

namespace tavorline {
namespace {

using namespace std::string_literals;

TEST(TextFormat, FillsPlaceholdersInOrderKeepingRawBytes) {
    EXPECT_EQ(Format("[LR   %s][%d][%s]", {"09:05:01", "3", "\x02\x00\x03"s}),
              "[LR   09:05:01][3][\x02\x00\x03]"s);
    EXPECT_EQ(Format("100%% %s", {"%s%d"}), "100% %s%d");
    EXPECT_EQ(Format("[%s][%s] %x %", {"a"}), "[a][] %x %");
}

TEST(TextFormat, TimeAndDateArePaddedWithZeros) {
    const LocalTime t{2026, 1, 6, 0, 3, 9};
    EXPECT_EQ(TimeText(t), "00:03:09");
    EXPECT_EQ(DateText(t), "20260106");
    EXPECT_EQ(TimeText({2026, 12, 31, 23, 59, 58}), "23:59:58");
    EXPECT_EQ(DecimalText(-42), "-42");
}

}  // namespace
}  // namespace tavorline
