#include "windows/desktop/look.h"

#include <initializer_list>

namespace tavorline::win::look {
namespace {

int CALLBACK noteFamilyFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

Font firstInstalled(std::initializer_list<const wchar_t*> families, int points, const Scale& scale,
                    bool bold, BYTE charset, BYTE pitch) {
    const wchar_t* chosen = nullptr;
    for (const wchar_t* family : families) {
        if (hasFontFamily(family)) {
            chosen = family;
            break;
        }
    }
    LOGFONTW font{};
    font.lfHeight = -MulDiv(points, scale.dpi(), 72);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = charset;
    font.lfQuality = CLEARTYPE_QUALITY;
    font.lfPitchAndFamily = pitch;
    // None installed: the system picks by charset and pitch.
    if (chosen) lstrcpynW(font.lfFaceName, chosen, LF_FACESIZE);
    return Font(CreateFontIndirectW(&font));
}

}  // namespace

Scale Scale::ofScreen() {
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return Scale(dpi > 0 ? dpi : 96);
}

RECT Scale::operator()(const RECT& at96) const {
    return {(*this)(at96.left), (*this)(at96.top), (*this)(at96.right), (*this)(at96.bottom)};
}

bool hasFontFamily(const wchar_t* family) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, family, LF_FACESIZE);
    bool found = false;
    const HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, noteFamilyFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

Font gulimChe(int points, const Scale& scale, bool bold) {
    return firstInstalled({L"GulimChe", L"굴림체", L"NanumGothicCoding", L"NanumGothic"}, points,
                          scale, bold, HANGUL_CHARSET, FIXED_PITCH | FF_MODERN);
}

Font gulim(int points, const Scale& scale, bool bold) {
    return firstInstalled({L"Gulim", L"굴림", L"NanumGothic"}, points, scale, bold, HANGUL_CHARSET,
                          VARIABLE_PITCH | FF_SWISS);
}

Font windowFont(const Scale& scale) {
    return firstInstalled({L"MS Sans Serif", L"Microsoft Sans Serif", L"Tahoma"}, 8, scale, false,
                          DEFAULT_CHARSET, VARIABLE_PITCH | FF_SWISS);
}

SIZE frameSizeFor(SIZE client, DWORD style, DWORD exStyle) {
    RECT frame{0, 0, client.cx, client.cy};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

POINT centredOnScreen(SIZE window) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return {work.left + (work.right - work.left - window.cx) / 2,
            work.top + (work.bottom - work.top - window.cy) / 2};
}

}  // namespace tavorline::win::look
