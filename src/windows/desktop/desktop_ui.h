#pragma once

#include "app/ui_sink.h"

namespace tavorline::win {

class DisplayWindow;
class ErrorBoxes;
class MainWindowFace;

// The gateway's UI sink on the Windows desktop: the main window's lines, the
// display window's fields, and a message box for errors no handler caught.
// The gateway's texts are CP949; they become UTF-16 here.
class DesktopUi : public UiSink {
public:
    explicit DesktopUi(DisplayWindow& display) : display_(display) {}
    // The main window is the gateway's own, made with it after this sink:
    // its face and its error boxes are bound here before the gateway starts.
    void attach(MainWindowFace& face, ErrorBoxes& errors) {
        face_ = &face;
        errors_ = &errors;
    }

    void showStatus(BytesView text) override;
    void setTitle(BytesView text) override;
    void setAddress(BytesView text) override;
    void setDisplayField(DisplayField field, BytesView text) override;
    void clearDisplay() override;
    void showDisplayWindow() override;
    // A message box with the text, above every window, once the code that
    // reported it has returned; the program runs on meanwhile.
    void reportError(BytesView message) override;

private:
    MainWindowFace* face_ = nullptr;
    ErrorBoxes* errors_ = nullptr;
    DisplayWindow& display_;
};

}  // namespace tavorline::win
