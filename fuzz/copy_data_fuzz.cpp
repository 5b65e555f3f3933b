// Any WM_COPYDATA block, as the Windows window takes it from the message
// and hands it to the gateway, whatever state the call is in: the gateway
// reads no byte past cbData, and answers, frames or only shows the text as
// the web screen's requests say.
#include <array>

#include "fuzz_gateway.h"

using namespace tavorline;
using namespace tavorline::fuzzing;

namespace {

// Where the call may be when the web screen speaks.
constexpr std::array<BytesView, 4> kCallSoFar{"", "\x0A\x0A\x0A",
                                              "\x0A\x0A\x0AIP10.1.2.3/5000\r\r\r", "\x0F\x0F\x0F"};

}  // namespace

// The input: a byte of choices, dwData (8 bytes, which the gateway ignores),
// then the block's bytes. The block is libFuzzer's own buffer, which ends
// exactly where cbData does.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzGateway fuzz;
    if (size < 9) return 0;
    const std::uint8_t choices = data[0];
    fuzz.terminalSends(kCallSoFar[choices % kCallSoFar.size()], 64);
    if ((choices & 0x10) != 0) fuzz.gateway.WMWebHandle(0x1000 + choices);

    const auto cbData = static_cast<std::uint32_t>(size - 9);
    // A sender may pass a size with no data behind it.
    const void* lpData = (choices & 0x20) != 0 ? nullptr : data + 9;
    const BytesView block = copyDataBytes(lpData, cbData);
    require(lpData != nullptr || block.empty());
    fuzz.webScreenSends(block);
    fuzz.toIdle();
    return 0;
}
