#pragma once

#include <windows.h>

#include <cstdio>

#include "app/ui_sink.h"

namespace tavorline::win {

// The gateway without a desktop: each status text is one UTF-8 line on
// standard output, flushed at once so that a supervising process sees it
// while the gateway blocks; errors go to standard error the same way.
class WinHeadlessUi : public UiSink {
public:
    explicit WinHeadlessUi(std::FILE* out = stdout, std::FILE* err = stderr);

    void showStatus(BytesView text) override;
    void setTitle(BytesView text) override;
    void setAddress(BytesView text) override;
    void setDisplayField(DisplayField field, BytesView text) override;
    void clearDisplay() override;
    void showDisplayWindow() override;
    void reportError(BytesView message) override;

private:
    std::FILE* out_;
    std::FILE* err_;
};

// Ctrl+C, Ctrl+Break and the console's closing (or the user's logoff, or
// shutdown) ask `window` to close, as any other request to end the program
// does. The console runs its handler on a thread of its own, so the handler
// only posts: the program's thread ends everything in order.
void closeOnConsoleBreak(HWND window);

}  // namespace tavorline::win
