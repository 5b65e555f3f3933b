// Any chunks from the host, in every destination mode, after a request:
// no crash and no read or write outside any buffer.
#include <array>

#include "fuzz_gateway.h"
#include "support/framing.h"

using namespace tavorline;
using namespace tavorline::fuzzing;

namespace {

struct Mode {
    const char* type;
    const char* dial;
};
constexpr std::array<Mode, 6> kModes{{{"A", "\r\r\r"},
                                      {"A", "\x0A\x0A\x0A"},
                                      {"A", "\x0C\x0C\x0C"},
                                      {"A", "\x0B\x0B\x0B"},
                                      {"D", "\r\r\r"},
                                      {"R", "\x0A\x0A\x0A"}}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzGateway fuzz;
    if (size < 2) return 0;
    const Mode& mode = kModes[data[0] % kModes.size()];
    fuzz.toIdle(mode.type);
    fuzz.terminalSends(mode.dial, 3);
    fuzz.terminalSends("IP10.1.2.3/5000\r\r\r", 64);
    fuzz.terminalSends(Make_Frame("TR12345678D1\x1C" "00000001\x1CK4111111111111111=2512"), 64);

    // The display switch changes what the end of a call does.
    fuzz.gateway.DispMode = (data[0] & 0x80) != 0;

    // The rest is a series of chunks, each led by its length byte.
    BytesView rest(reinterpret_cast<const char*>(data + 1), size - 1);
    while (!rest.empty()) {
        const std::size_t length = static_cast<unsigned char>(rest.front()) + 1;
        rest.remove_prefix(1);
        const BytesView chunk = rest.substr(0, length);
        rest.remove_prefix(chunk.size());
        fuzz.hostSends(chunk);
    }
    require(fuzz.gateway.call().KeyStage >= 0 && fuzz.gateway.call().KeyStage <= 3);
    fuzz.toIdle();
    return 0;
}
