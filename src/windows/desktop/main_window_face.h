#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string_view>

#include "windows/desktop/look.h"
#include "windows/desktop/status_light.h"

namespace tavorline::win {

class Pictures;

// What the shop's staff see of the main window TFmain: the logo, the title
// line, the address of the call, the buttons 초기화, 설정 and 닫기, and below
// them the R and T lights and the status line. It is built into the window
// that exists from the start (the one the web screen talks to), and laid out
// in pixels of a 96-DPI screen, scaled to the screen's DPI.
class MainWindowFace {
public:
    // The controls' identifiers, by which another process (a test, a
    // technician's tool) finds them with GetDlgItem and reads their text.
    enum ControlId : int {
        kResetButton = 1001,
        kSettingsButton = 1002,
        kCloseButton = 1003,
        kStatusLine = 1010,
        kTitleLine = 1011,
        kAddressLine = 1012,
        kReceiveCaption = 1013,
        kTransmitCaption = 1014,
    };

    MainWindowFace(HWND window, const Pictures& pictures);
    ~MainWindowFace();
    MainWindowFace(const MainWindowFace&) = delete;
    MainWindowFace& operator=(const MainWindowFace&) = delete;

    // The status line, painted before this returns: the gateway's waits and
    // blocking writes keep the message loop from painting it.
    void showStatus(std::wstring_view text);
    void setTitleLine(std::wstring_view text);
    void setAddressLine(std::wstring_view text);

    StatusLight& receiveLight() { return receiveLight_; }
    StatusLight& transmitLight() { return transmitLight_; }

    // Shows the window above all others and gives it the keyboard.
    void show();
    void hide();

    std::function<void()> onReset;
    std::function<void()> onSettings;
    std::function<void()> onClose;

    // The main window's messages that concern what it shows.
    std::optional<LRESULT> handle(UINT message, WPARAM wParam, LPARAM lParam);

private:
    HWND addLabel(ControlId id, std::wstring_view text, RECT place, HFONT font);
    HWND addButton(ControlId id, const wchar_t* caption, int glyphId, int top);
    void layOutWindow();
    void paintPanels();
    void drawButton(const DRAWITEMSTRUCT& item);
    std::optional<LRESULT> colourLabel(HDC dc, HWND label);
    void setLabel(int id, std::wstring_view text);

    HWND window_;
    const Pictures& pictures_;
    look::Scale scale_;
    look::Font statusFont_;
    look::Font titleFont_;
    look::Font buttonFont_;
    look::Font smallFont_;
    HBITMAP logo_ = nullptr;
    HBITMAP glyphs_[3] = {};
    StatusLight receiveLight_;
    StatusLight transmitLight_;
    bool shownBefore_ = false;
};

}  // namespace tavorline::win
