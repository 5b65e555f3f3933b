#pragma once

#include <windows.h>

#include <string_view>

#include "app/ui_sink.h"
#include "windows/desktop/look.h"

namespace tavorline::win {

class EventLoop;

// TFDisp, "수신전문 내역": the last request from the terminal and the last
// response to it, each as a hex dump and readable. Made hidden at start and
// kept to the end; closing it only hides it, and Escape empties the fields.
class DisplayWindow {
public:
    static constexpr const wchar_t* kClassName = L"TFDisp";
    // The fields' identifiers, in DisplayField order, and the clear button's.
    static constexpr int kFirstField = 3001;
    static constexpr int kClearButton = 3010;

    explicit DisplayWindow(EventLoop& loop);
    ~DisplayWindow();
    DisplayWindow(const DisplayWindow&) = delete;
    DisplayWindow& operator=(const DisplayWindow&) = delete;

    HWND handle() const { return window_; }

    // The field shows the start of its text.
    void setField(DisplayField field, std::wstring_view text);
    void clear();
    // Visible, not modal, in front.
    void show();

private:
    template <typename T>
    friend LRESULT CALLBACK forwardToObject(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void addRow(int row, const wchar_t* caption);
    HWND field(DisplayField which) const;

    EventLoop& loop_;
    HWND window_ = nullptr;
    look::Scale scale_;
    look::Font font_;
    look::Font captionFont_;
    look::Brush background_;
};

}  // namespace tavorline::win
