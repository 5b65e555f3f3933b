#pragma once

#include "support/bytes.h"

namespace tavorline {

// The four fields of the message display window.
enum class DisplayField { Request1, Request2, Answer1, Answer2 };

// What the gateway shows. Texts are CP949; the shell converts them.
class UiSink {
public:
    virtual ~UiSink() = default;
    // The status line. Shown at once: the caller may block the thread next.
    virtual void showStatus(BytesView text) = 0;
    virtual void setTitle(BytesView text) = 0;
    virtual void setAddress(BytesView text) = 0;
    virtual void setDisplayField(DisplayField field, BytesView text) = 0;
    virtual void clearDisplay() = 0;
    virtual void showDisplayWindow() = 0;
    // An error that no handler caught: shown to the user, the program runs on.
    virtual void reportError(BytesView message) = 0;
};

}  // namespace tavorline
