#include "windows/window_web_bridge.h"

#include "app/web_bridge_frame.h"

namespace tavorline::win {

BytesView copyDataBlock(const COPYDATASTRUCT* block) {
    if (block == nullptr) return {};
    return copyDataBytes(block->lpData, block->cbData);
}

void WindowWebBridge::send(std::uint64_t webHandle, BytesView text) {
    const HWND window = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(webHandle));
    // A web screen that has gone leaves its handle behind; nobody is told.
    if (window == nullptr || !IsWindow(window)) return;
    Bytes data(text);
    data.push_back('\0');
    COPYDATASTRUCT block{};
    block.dwData = static_cast<ULONG_PTR>(kWebTextTag);
    block.cbData = static_cast<DWORD>(data.size());
    block.lpData = data.data();
    DWORD_PTR result = 0;
    // SMTO_NORMAL, not SMTO_BLOCK: the web screen's own sends to us (a
    // last-data request inside this one) must get through while we wait.
    SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block), SMTO_NORMAL,
                        static_cast<UINT>(timeout_.count()), &result);
}

}  // namespace tavorline::win
