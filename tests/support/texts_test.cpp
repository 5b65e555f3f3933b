#include "support/texts.h"

#include <gtest/gtest.h>
#include <iconv.h>

namespace tavorline {
namespace {

Bytes toCp949(std::string utf8) {
    const iconv_t converter = iconv_open("CP949", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return "iconv knows no CP949";
    Bytes out(utf8.size() * 2, '\0');
    char* in = utf8.data();
    char* outEnd = out.data();
    std::size_t inLeft = utf8.size(), outLeft = out.size();
    if (iconv(converter, &in, &inLeft, &outEnd, &outLeft) == static_cast<std::size_t>(-1)) {
        outLeft = out.size();
    }
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}

// Each constant against the Korean text written in its comment.
TEST(Texts, ConstantsAreTheCp949FormOfTheirKoreanText) {
    const std::pair<BytesView, std::string> rows[] = {
        {texts::kStatusStarting, "Vorn Adsl G/W 조회 중..."},
        {texts::kStatusResetting, "초기화 합니다..."},
        {texts::kStatusWaiting, "대기중 ..."},
        {texts::kStatusWaitingShort, "대기중"},
        {texts::kStatusConnecting, "E/C 접속중 ..."},
        {texts::kStatusReceiving, "E/C 전문 수신중 ..."},
        {texts::kStatusHostFailed, "Host 접속실패 ("},
        {texts::kStatusQuerying, " G/W 조회 중.."},
        {texts::kStatusResponse, "Vorn 응답전문 수신 !        "},
        {texts::kStatusWebHandle, "웹 Handle 수신 .."},
        {texts::kStatusWebSent, "웹 화면 자료전송 "},
        {texts::kLogConnectFailed, "접속실패 ("},
        {texts::kLogConnected, "접속성공 ("},
        {texts::kLogDisconnected, "접속끊기 ("},
        {texts::kLogEnqSent, "EC ENQ(6) 전송 !"},
    };
    for (const auto& [constant, utf8] : rows) EXPECT_EQ(constant, toCp949(utf8)) << utf8;
}

}  // namespace
}  // namespace tavorline
