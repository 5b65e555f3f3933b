// Any bytes from the terminal, in receive events of any size: no crash, a
// bounded buffer outside a call, and a reset and a dial that always work.
#include "fuzz_gateway.h"

using namespace tavorline;
using namespace tavorline::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzGateway fuzz;
    if (size < 2) return 0;
    const std::size_t perEvent = 1 + data[0];
    const BytesView bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzz.terminalSends(bytes, perEvent);

    const CallRecord& call = fuzz.gateway.call();
    require(call.CallStage == 0 || call.CallStage == 2 || call.CallStage == 3 ||
            call.CallStage == 4);
    require(call.CallStage >= 3 || call.RecvBuf.size() <= 4096 + 1);

    fuzz.gateway.BT_INITClick();
    fuzz.terminalSends("\x0A\x0A\x0A", 3);
    require(call.CallStage == 2 && call.DestMode == "LF");
    fuzz.toIdle();
    return 0;
}
