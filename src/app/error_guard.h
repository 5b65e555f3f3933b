#pragma once

#include <exception>

#include "app/ui_sink.h"

namespace tavorline {

// The last stop for an error no handler caught: the user sees its text and
// the program runs on, as with any desktop program's default error handler.
template <typename Handler>
void runGuarded(UiSink& ui, Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ui.reportError(error.what());
    } catch (...) {
        ui.reportError("Unknown error");
    }
}

}  // namespace tavorline
