#include "qt/cp949.h"

#include <gtest/gtest.h>

namespace tavorline {
namespace {

// "대기중 ..." and "접속성공", as the engine holds them.
constexpr BytesView kWaiting = "\xB4\xEB\xB1\xE2\xC1\xDF ...";
constexpr BytesView kConnected = "\xC1\xA2\xBC\xD3\xBC\xBA\xB0\xF8";

TEST(Cp949, ConvertsKoreanTextBothWaysAndReplacesWhatItCannot) {
    EXPECT_EQ(fromCp949(kWaiting), QStringLiteral(u"대기중 ..."));
    EXPECT_EQ(toCp949(QStringLiteral(u"접속성공")), kConnected);
    EXPECT_EQ(fromCp949(toCp949(QStringLiteral(u"초기화 합니다..."))),
              QStringLiteral(u"초기화 합니다..."));

    // A lone lead byte at the end, and a byte that starts no character.
    EXPECT_EQ(fromCp949("ok\xB4"), QStringLiteral(u"ok\uFFFD"));
    EXPECT_EQ(fromCp949("a\xFF\x41"), QStringLiteral(u"a\uFFFDA"));
    EXPECT_EQ(fromCp949(BytesView("\0\x05", 2)), QString(QChar(0)) + QChar(5));
    EXPECT_EQ(toCp949(QStringLiteral(u"a\U0001F600b")), "a?b");
}

// A settings file saved as "Unicode" must never get U+FFFD written for a
// value that was no CP949: the write is refused instead.
TEST(Cp949, SettingsFileConverterRefusesBytesThatAreNoCp949) {
    const Cp949WideText converter;
    EXPECT_EQ(converter.wideFromCp949(kWaiting), u"\uB300\uAE30\uC911 ...");
    EXPECT_EQ(converter.wideFromCp949("ok\xB4"), std::nullopt);
    EXPECT_EQ(converter.cp949FromWide(u"\uC811\uC18D\uC131\uACF5"), kConnected);
}

}  // namespace
}  // namespace tavorline
