#pragma once

#include "app/ui_sink.h"

namespace tavorline::win {

class DisplayWindow;
class MainWindowFace;

// The gateway's UI sink on the Windows desktop: the main window's lines, the
// display window's fields, and a message box for errors no handler caught.
// The gateway's texts are CP949; they become UTF-16 here.
class DesktopUi : public UiSink {
public:
    explicit DesktopUi(DisplayWindow& display) : display_(display) {}
    // The main window is the gateway's own, made with it after this sink:
    // its face is bound here before the gateway starts.
    void attach(MainWindowFace& face) { face_ = &face; }

    void showStatus(BytesView text) override;
    void setTitle(BytesView text) override;
    void setAddress(BytesView text) override;
    void setDisplayField(DisplayField field, BytesView text) override;
    void clearDisplay() override;
    void showDisplayWindow() override;
    // One message box with the text, above every window; the program runs
    // on when it is closed.
    void reportError(BytesView message) override;

private:
    MainWindowFace* face_ = nullptr;
    DisplayWindow& display_;
};

}  // namespace tavorline::win
