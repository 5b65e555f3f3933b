#include "windows/desktop/status_light.h"

#include "windows/desktop/look.h"
#include "windows/window_class.h"

namespace tavorline::win {
namespace {

constexpr const wchar_t* kClassName = L"TavorlineStatusLight";
constexpr UINT_PTR kDarkTimer = 1;
constexpr COLORREF kRim = RGB(0x80, 0x80, 0x80);

}  // namespace

StatusLight::StatusLight(HWND parent, RECT place, COLORREF litColour) : litColour_(litColour) {
    registerWindowClass(kClassName, &forwardToObject<StatusLight>, nullptr);
    CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, place.left, place.top,
                    place.right - place.left, place.bottom - place.top, parent, nullptr,
                    GetModuleHandleW(nullptr), this);
}

StatusLight::~StatusLight() {
    if (window_) DestroyWindow(window_);
}

void StatusLight::flash() {
    SetTimer(window_, kDarkTimer, kLitMs, nullptr);
    if (lit_) return;
    lit_ = true;
    repaintNow();
}

void StatusLight::repaintNow() {
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
}

LRESULT StatusLight::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            KillTimer(window_, kDarkTimer);
            lit_ = false;
            repaintNow();
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_NCDESTROY: {
            const LRESULT result = DefWindowProcW(window_, message, wParam, lParam);
            window_ = nullptr;
            return result;
        }
        default:
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

void StatusLight::paint() {
    PAINTSTRUCT paint;
    const HDC dc = BeginPaint(window_, &paint);
    RECT area;
    GetClientRect(window_, &area);
    const look::Brush fill(CreateSolidBrush(lit_ ? litColour_ : look::kWhite));
    const look::Brush rim(CreateSolidBrush(kRim));
    FillRect(dc, &area, fill.get());
    FrameRect(dc, &area, rim.get());
    EndPaint(window_, &paint);
}

}  // namespace tavorline::win
