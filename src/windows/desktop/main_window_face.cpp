#include "windows/desktop/main_window_face.h"

#include <iterator>
#include <string>

#include "windows/desktop/pictures.h"
#include "windows/desktop/resource_ids.h"

namespace tavorline::win {
namespace {

// The window's client area and its two panels, at 96 DPI.
constexpr SIZE kClientSize{314, 118};
constexpr RECT kPanel1{0, 0, 314, 97};
constexpr RECT kPanel2{0, 97, 314, 118};
constexpr int kPanel2Top = kPanel2.top;

constexpr RECT kLogo{10, 34, 10 + 187, 34 + 37};
constexpr int kButtonLeft = 204;
constexpr SIZE kButtonSize{101, 24};
constexpr int kGlyphSize = 16;
constexpr int kGlyphGap = 4;

constexpr RECT kTitleLinePlace{16, 8, 200, 22};
constexpr RECT kAddressLinePlace{11, 78, 11 + 190, 78 + 12};
constexpr RECT kStatusLinePlace{59, kPanel2Top + 5, 312, kPanel2Top + 19};
constexpr RECT kReceiveLabel{7, kPanel2Top + 3, 14, kPanel2Top + 17};
constexpr RECT kReceiveLight{15, kPanel2Top + 5, 15 + 11, kPanel2Top + 5 + 11};
constexpr RECT kTransmitLabel{29, kPanel2Top + 3, 34, kPanel2Top + 17};
constexpr RECT kTransmitLight{34, kPanel2Top + 5, 34 + 11, kPanel2Top + 5 + 11};

constexpr COLORREF kReceiveColour = RGB(0xFF, 0x00, 0x00);
constexpr COLORREF kTransmitColour = RGB(0x00, 0x00, 0xFF);

int glyphIndex(int id) { return id - MainWindowFace::kResetButton; }

}  // namespace

MainWindowFace::MainWindowFace(HWND window, const Pictures& pictures)
    : window_(window),
      pictures_(pictures),
      scale_(look::Scale::ofScreen()),
      statusFont_(look::gulimChe(9, scale_, true)),
      titleFont_(look::gulim(9, scale_, true)),
      buttonFont_(look::gulimChe(9, scale_, true)),
      smallFont_(look::windowFont(scale_)),
      receiveLight_(window, scale_(kReceiveLight), kReceiveColour),
      transmitLight_(window, scale_(kTransmitLight), kTransmitColour) {
    layOutWindow();
    logo_ = pictures_.bitmap(IDR_LOGO, {scale_(187), scale_(37)}, look::kWhite);
    const HWND logo = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_BITMAP,
                                      scale_(kLogo.left), scale_(kLogo.top), 0, 0, window_, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo_));

    addButton(kResetButton, L"초 기 화", IDR_RESET_GLYPH, 8);
    addButton(kSettingsButton, L"설    정", IDR_SETTINGS_GLYPH, 36);
    addButton(kCloseButton, L"닫    기", IDR_CLOSE_GLYPH, 65);

    addLabel(kTitleLine, L"Tavorline 6", kTitleLinePlace, titleFont_.get());
    addLabel(kAddressLine, L"", kAddressLinePlace, statusFont_.get());
    addLabel(kStatusLine, L"Vorn Adsl G/W 조회 중...", kStatusLinePlace, statusFont_.get());
    addLabel(kReceiveCaption, L"R", kReceiveLabel, smallFont_.get());
    addLabel(kTransmitCaption, L"T", kTransmitLabel, smallFont_.get());
}

MainWindowFace::~MainWindowFace() {
    if (logo_) DeleteObject(logo_);
    for (HBITMAP glyph : glyphs_) {
        if (glyph) DeleteObject(glyph);
    }
}

void MainWindowFace::layOutWindow() {
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE));
    const SIZE frame =
        look::frameSizeFor({scale_(kClientSize.cx), scale_(kClientSize.cy)}, style, exStyle);
    const POINT corner = look::centredOnScreen(frame);
    SetWindowPos(window_, HWND_TOPMOST, corner.x, corner.y, frame.cx, frame.cy, SWP_NOACTIVATE);
}

HWND MainWindowFace::addLabel(ControlId id, std::wstring_view text, RECT place, HFONT font) {
    const RECT at = scale_(place);
    const HWND label = CreateWindowExW(
        0, L"STATIC", std::wstring(text).c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
        at.left, at.top, at.right - at.left, at.bottom - at.top, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return label;
}

HWND MainWindowFace::addButton(ControlId id, const wchar_t* caption, int glyphId, int top) {
    glyphs_[glyphIndex(id)] =
        pictures_.bitmap(glyphId, {scale_(kGlyphSize), scale_(kGlyphSize)}, look::kWhite);
    const HWND button = CreateWindowExW(
        0, L"BUTTON", caption, WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, scale_(kButtonLeft),
        scale_(top), scale_(kButtonSize.cx), scale_(kButtonSize.cy), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont_.get()), FALSE);
    return button;
}

void MainWindowFace::setLabel(int id, std::wstring_view text) {
    const HWND label = GetDlgItem(window_, id);
    SetWindowTextW(label, std::wstring(text).c_str());
    UpdateWindow(label);
}

void MainWindowFace::showStatus(std::wstring_view text) { setLabel(kStatusLine, text); }
void MainWindowFace::setTitleLine(std::wstring_view text) { setLabel(kTitleLine, text); }
void MainWindowFace::setAddressLine(std::wstring_view text) { setLabel(kAddressLine, text); }

void MainWindowFace::show() {
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window_);
}

void MainWindowFace::hide() { ShowWindow(window_, SW_HIDE); }

std::optional<LRESULT> MainWindowFace::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            if (HIWORD(wParam) != BN_CLICKED) return std::nullopt;
            const std::function<void()>* action = nullptr;
            if (LOWORD(wParam) == kResetButton) action = &onReset;
            if (LOWORD(wParam) == kSettingsButton) action = &onSettings;
            if (LOWORD(wParam) == kCloseButton) action = &onClose;
            if (action == nullptr) return std::nullopt;
            if (*action) (*action)();
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            return colourLabel(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM:
            drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_PAINT:
            paintPanels();
            return 0;
        case WM_SETCURSOR:
            if (GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) >= kResetButton &&
                GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) <= kCloseButton) {
                SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
                return TRUE;
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<LRESULT> MainWindowFace::colourLabel(HDC dc, HWND label) {
    COLORREF colour = RGB(0, 0, 0);
    switch (GetDlgCtrlID(label)) {
        case kStatusLine:
            colour = look::kNavy;
            break;
        case kTitleLine:
            colour = look::kTeal;
            break;
        case kAddressLine:
            colour = look::kGrey;
            break;
        default:
            break;
    }
    SetTextColor(dc, colour);
    SetBkColor(dc, look::kWhite);
    return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
}

// Both panels are white with a lowered inner bevel.
void MainWindowFace::paintPanels() {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window_, &paint);
    for (RECT panel : {scale_(kPanel1), scale_(kPanel2)}) {
        DrawEdge(dc, &panel, BDR_SUNKENINNER, BF_RECT);
    }
    EndPaint(window_, &paint);
}

// Flat white buttons: the glyph and the bold caption side by side in the
// middle, sunken while pressed.
void MainWindowFace::drawButton(const DRAWITEMSTRUCT& item) {
    RECT area = item.rcItem;
    const HDC dc = item.hDC;
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    DrawEdge(dc, &area, pressed ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);

    wchar_t caption[32] = {};
    GetWindowTextW(item.hwndItem, caption, static_cast<int>(std::size(caption)));
    const HGDIOBJ oldFont = SelectObject(dc, buttonFont_.get());
    SIZE text{};
    GetTextExtentPoint32W(dc, caption, lstrlenW(caption), &text);
    const int glyph = scale_(kGlyphSize);
    const int gap = scale_(kGlyphGap);
    const int shift = pressed ? 1 : 0;
    int left = area.left + (area.right - area.left - glyph - gap - text.cx) / 2 + shift;
    const int middle = (area.top + area.bottom) / 2 + shift;

    if (const HBITMAP bitmap = glyphs_[glyphIndex(static_cast<int>(item.CtlID))]) {
        const HDC source = CreateCompatibleDC(dc);
        const HGDIOBJ old = SelectObject(source, bitmap);
        BitBlt(dc, left, middle - glyph / 2, glyph, glyph, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    }
    left += glyph + gap;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, left, middle - text.cy / 2, caption, lstrlenW(caption));
    SelectObject(dc, oldFont);
}

}  // namespace tavorline::win
