#pragma once

#include <windows.h>

namespace tavorline::win {

// Ctrl+C, Ctrl+Break and the console's closing (or the user's logoff, or
// shutdown) ask `window` to close, as any other request to end the program
// does. The console runs its handler on a thread of its own, so the handler
// only posts: the program's thread ends everything in order.
void closeOnConsoleBreak(HWND window);

}  // namespace tavorline::win
