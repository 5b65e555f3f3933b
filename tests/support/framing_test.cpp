#include "support/framing.h"

#include <gtest/gtest.h>

namespace tavorline {
namespace {

using namespace std::string_literals;

const Bytes STX(1, ctl::STX), ETX(1, ctl::ETX), SI(1, ctl::SI);

TEST(Framing, FrameCarriesCheckOfBodyAndEtx) {
    EXPECT_EQ(Make_Frame("A"), STX + "A" + ETX + "\x62");
    EXPECT_EQ(Make_Frame("abc"), STX + "abc" + ETX + "c");
    EXPECT_EQ(Make_Frame(""), STX + ETX + "\x23");
    EXPECT_EQ(Calc_Check("\xC1\xA2\x03"), "\x60");
    EXPECT_EQ(Calc_Check(""), " ");
}

TEST(Framing, GetTokenWalksSeparatedList) {
    Bytes source = "/x\x1DGPy\x1DGPz";
    EXPECT_EQ(Get_Token(source, "/"), "");
    EXPECT_EQ(Get_Token(source, "\x1DGP"), "x");
    EXPECT_EQ(source, "y\x1DGPz");
    EXPECT_EQ(Get_Token(source, "/"), "y\x1DGPz");
    EXPECT_EQ(source, "");
    source = "ab/cd";
    EXPECT_EQ(Get_Token(source, ""), "ab/cd");
    EXPECT_EQ(source, "");
}

TEST(Framing, StrToNumIsLenientButNeverGuesses) {
    const std::pair<Bytes, std::int32_t> cases[] = {{"1,234", 1234},
                                                    {" -12", -12},
                                                    {"", 0},
                                                    {"Empty", 0},
                                                    {"12a", 0},
                                                    {"1-2", 0},
                                                    {"-", 0},
                                                    {"--5", 0},
                                                    {"- 5", -5},
                                                    {"99999999999", 0},
                                                    {"2147483647", 2147483647},
                                                    {"-2147483648", INT32_MIN},
                                                    {"2147483648", 0},
                                                    {"+5", 0},
                                                    {Bytes(19, ' ') + "5", 5},
                                                    {Bytes(20, ' ') + "5", 0},
                                                    {"0000000000000000007", 7}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(Str_ToNum(text), expected) << text;
}

TEST(Framing, FillAndDumpRoutines) {
    EXPECT_EQ(Str_ToHex("A\x02\xFF"), "4102FF");
    EXPECT_EQ(Pad_Right("abcdef", 3), "abc");
    EXPECT_EQ(Pad_Right("ab", 5), "ab   ");
    EXPECT_EQ(Pad_Right("ab", -1), "");
    // Trim takes control bytes too, but not the high bytes of CP949 text.
    EXPECT_EQ(Trim("\x1C \t\xB0\xA1 x\r\n"), "\xB0\xA1 x");
}

TEST(Framing, SearchHelpersUseFirstOccurrence) {
    EXPECT_TRUE(foundWithin("xxCCCCC", "CCCCC", 3));
    EXPECT_FALSE(foundWithin("xxxCCCCC", "CCCCC", 3));
    EXPECT_FALSE(foundWithin("abc", "", 3));
    EXPECT_TRUE(contains("a\x00\x1b\x1b"s, "\x1b\x1b"));
    EXPECT_FALSE(contains("abc", "abd"));
}

// "PLUMWEXT" XOR 0xF0: this seed makes the key all zeros and the digits "00000000".
const Bytes kZeroKeySeed = "\xA0\xBC\xA5\xBD\xA7\xB5\xA8\xA4";

TEST(Unmasking, DigitKeyComesFromSeed) {
    Bytes seed = kZeroKeySeed;
    Bytes key;
    Mask_Key(seed, key);
    EXPECT_EQ(key, Bytes(8, '\0'));
    EXPECT_EQ(seed, key);
    // Byte 5 is the pivot: 0x1A gives 0x1A & 0x0F = 10 -> 0 in place 5 and 26 -> 6 elsewhere.
    EXPECT_EQ(Mask_Digits("\xFF\0\0\0\x1A\0\0\0"s), "96660666");
}

TEST(Unmasking, DigitKeyCyclesEveryEightBytes) {
    const Bytes out = Unmask_Body(Bytes(10, 'A') + ETX, "12345678");
    ASSERT_EQ(out.size(), 10u);
    EXPECT_EQ(out[8], out[0]);
    EXPECT_EQ(out[9], out[1]);
    EXPECT_NE(out[7], out[0]);
}

// The readable form of 'A' under digit '0': 0x41 XOR 0x30 = 0x71, rotated 0xE2, inverted 0x1D.
const Bytes kUnmaskedA = "\x1D";
const Bytes kHead = STX + "AB" + kZeroKeySeed;
const Bytes kReadableHead = STX + "AB00000000";

TEST(Unmasking, FrameWithoutSiLosesLastBodyByte) {
    EXPECT_EQ(Unmask_Frame(kHead + "AZ" + ETX + "c"), kReadableHead + kUnmaskedA + ETX);
}

TEST(Unmasking, FrameWithSiKeepsClearTail) {
    EXPECT_EQ(Unmask_Frame(kHead + "A" + SI + "tail\xC1\xA2" + ETX + "c"),
              kReadableHead + kUnmaskedA + SI + "tail\xC1\xA2" + ETX);
}

TEST(Unmasking, CutOffFramesStayInsideTheText) {
    // A missing ETX counts as the end of the text; missing seed bytes give no digit.
    EXPECT_EQ(Unmask_Frame(kHead + "AZ"), kReadableHead + kUnmaskedA + ETX);
    EXPECT_EQ(Unmask_Frame(STX + "AB\xA0"), STX + "AB0" + ETX);
    EXPECT_EQ(Unmask_Frame(""), STX + ETX);
    // Every prefix, with ETX and SI in unusual places: always framed, never read past the end.
    const Bytes full = kHead + ETX + SI + "x";
    for (std::size_t n = 0; n <= full.size(); ++n) {
        const Bytes out = Unmask_Frame(Bytes(full, 0, n));
        EXPECT_EQ(out.front(), ctl::STX);
        EXPECT_EQ(out.back(), ctl::ETX);
    }
}

}  // namespace
}  // namespace tavorline
