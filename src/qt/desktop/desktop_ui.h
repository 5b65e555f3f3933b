#pragma once

#include "app/ui_sink.h"
#include "qt/desktop/display_window.h"
#include "qt/desktop/main_window.h"

namespace tavorline {

// The gateway's UI sink on the desktop: the main window's labels, the
// display window's fields, and a message box for errors no handler caught.
// The gateway's texts are CP949; they become Unicode here.
class DesktopUi : public UiSink {
public:
    // Both windows are made hidden, the main window first.
    DesktopUi();

    TFmain& mainWindow() { return mainWindow_; }
    TFDisp& displayWindow() { return displayWindow_; }

    void showStatus(BytesView text) override;
    void setTitle(BytesView text) override;
    void setAddress(BytesView text) override;
    void setDisplayField(DisplayField field, BytesView text) override;
    void clearDisplay() override;
    void showDisplayWindow() override;
    // One message box with the text; the program runs on when it is closed.
    void reportError(BytesView message) override;

private:
    TFmain mainWindow_;
    TFDisp displayWindow_;
};

}  // namespace tavorline
