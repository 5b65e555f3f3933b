#include "windows/desktop/display_window.h"

#include <string>
#include <system_error>

#include "windows/window_class.h"
#include "windows/event_loop.h"

namespace tavorline::win {
namespace {

// The client area, as for every window of the program.
constexpr SIZE kClientSize{1020, 176};
constexpr COLORREF kBackground = RGB(0xFF, 0xFF, 0xF0);
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

// Four rows of a caption and a field 931 pixels wide, then the button.
constexpr int kTop = 10;
constexpr int kRowHeight = 26;
constexpr int kCaptionLeft = 12;
constexpr int kCaptionWidth = 60;
constexpr int kFieldLeft = 76;
constexpr int kFieldWidth = 931;
constexpr int kFieldHeight = 21;
constexpr SIZE kButtonSize{75, 25};

const wchar_t* const kCaptions[] = {L"요청전문", L"요청해독", L"응답전문", L"응답해독"};

}  // namespace

DisplayWindow::DisplayWindow(EventLoop& loop)
    : loop_(loop),
      scale_(look::Scale::ofScreen()),
      font_(look::gulimChe(9, scale_)),
      captionFont_(look::gulimChe(9, scale_, true)),
      background_(CreateSolidBrush(kBackground)) {
    registerWindowClass(kClassName, &forwardToObject<DisplayWindow>, nullptr);
    const SIZE size =
        look::frameSizeFor({scale_(kClientSize.cx), scale_(kClientSize.cy)}, kStyle, 0);
    const POINT corner = look::centredOnScreen(size);
    CreateWindowExW(0, kClassName, L"수신전문 내역", kStyle, corner.x, corner.y, size.cx, size.cy,
                    nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (window_ == nullptr) {
        throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                "CreateWindowExW TFDisp");
    }
    for (int row = 0; row < 4; ++row) addRow(row, kCaptions[row]);

    RECT client;
    GetClientRect(window_, &client);
    const int buttonTop = scale_(kTop + 4 * kRowHeight + 4);
    const HWND button = CreateWindowExW(
        0, L"BUTTON", L"지움", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
        (client.right - scale_(kButtonSize.cx)) / 2, buttonTop, scale_(kButtonSize.cx),
        scale_(kButtonSize.cy), window_, reinterpret_cast<HMENU>(INT_PTR{kClearButton}),
        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

    // The window sees every key before its fields: Escape empties them.
    loop_.filterMessages(window_, [this](const MSG& message) {
        if (message.message != WM_KEYDOWN || message.wParam != VK_ESCAPE) return false;
        clear();
        return true;
    });
}

DisplayWindow::~DisplayWindow() {
    loop_.unfilterMessages(window_);
    DestroyWindow(window_);
}

void DisplayWindow::addRow(int row, const wchar_t* caption) {
    const int top = scale_(kTop + row * kRowHeight);
    const HWND label = CreateWindowExW(0, L"STATIC", caption, WS_CHILD | WS_VISIBLE | SS_LEFT,
                                       scale_(kCaptionLeft), top + scale_(3), scale_(kCaptionWidth),
                                       scale_(kFieldHeight - 3), window_, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(captionFont_.get()), FALSE);
    const HWND edit = CreateWindowExW(
        WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
        scale_(kFieldLeft), top, scale_(kFieldWidth), scale_(kFieldHeight), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstField + row)), GetModuleHandleW(nullptr),
        nullptr);
    SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    // A hex dump of a long message is three times its length.
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
}

HWND DisplayWindow::field(DisplayField which) const {
    return GetDlgItem(window_, kFirstField + static_cast<int>(which));
}

void DisplayWindow::setField(DisplayField which, std::wstring_view text) {
    const HWND edit = field(which);
    SetWindowTextW(edit, std::wstring(text).c_str());
    // From the start, also when the field has the keyboard.
    SendMessageW(edit, EM_SETSEL, 0, 0);
    SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

void DisplayWindow::clear() {
    for (DisplayField which : {DisplayField::Request1, DisplayField::Request2,
                               DisplayField::Answer1, DisplayField::Answer2}) {
        SetWindowTextW(field(which), L"");
    }
}

void DisplayWindow::show() {
    ShowWindow(window_, SW_SHOWNORMAL);
    SetForegroundWindow(window_);
}

LRESULT DisplayWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == kClearButton && HIWORD(wParam) == BN_CLICKED) clear();
            return 0;
        case WM_CLOSE:
            ShowWindow(window_, SW_HIDE);
            return 0;
        case WM_ERASEBKGND: {
            RECT area;
            GetClientRect(window_, &area);
            FillRect(reinterpret_cast<HDC>(wParam), &area, background_.get());
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            const HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, look::kNavy);
            SetBkColor(dc, kBackground);
            return reinterpret_cast<LRESULT>(background_.get());
        }
        default:
            return DefWindowProcW(window_, message, wParam, lParam);
    }
}

}  // namespace tavorline::win
