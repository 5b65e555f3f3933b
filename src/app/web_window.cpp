// The web screen: another application on this machine that registers with
// the gateway, asks for the last approved transaction, receives each new
// one, and sends short requests for the terminal.
#include <algorithm>
#include <array>

#include "app/gateway.h"
#include "support/framing.h"
#include "support/texts.h"

namespace tavorline {
namespace {

constexpr BytesView kLastDataRequest = "LA";
constexpr BytesView kLastDataStatus = "reqest lastdata ..";
constexpr std::size_t kWebRequestSize = 31;
// Field widths of a web request; the fields are passed on in order.
constexpr std::array<std::size_t, 6> kWebRequestFields = {2, 1, 2, 8, 12, 6};

Bytes terminalFrame(BytesView request) {
    Bytes body;
    for (std::size_t i = 0; i < kWebRequestFields.size(); ++i) {
        if (i > 0) body += ctl::FS;
        body += Trim(request.substr(0, kWebRequestFields[i]));
        request.remove_prefix(kWebRequestFields[i]);
    }
    return Make_Frame(body);
}

}  // namespace

BytesView copyDataBytes(const void* lpData, std::uint32_t cbData) {
    if (lpData == nullptr) return {};
    return {static_cast<const char*>(lpData), cbData};
}

void Gateway::WMWebHandle(std::uint64_t handle) {
    webHandle_ = handle;
    disp_mess(texts::kStatusWebHandle);
    ports_.TMInit.setEnabled(true);
}

void Gateway::WMCopyData(BytesView block) {
    const BytesView text = block.substr(0, block.find('\0'));
    if (text.substr(std::min<std::size_t>(1, text.size()), 2) == kLastDataRequest) {
        disp_mess(kLastDataStatus);
        ports_.TMInit.setEnabled(true);
        WebSend(config_.Ini_Read(kSection, "LastData", config_.iniPath()));
        return;
    }
    disp_mess(text);
    if (text.size() == kWebRequestSize) AproSend(terminalFrame(text));
}

void Gateway::TMInitTimer() {
    ports_.ui.showStatus(texts::kStatusWaitingShort);
    ports_.TMInit.setEnabled(false);
}

}  // namespace tavorline
