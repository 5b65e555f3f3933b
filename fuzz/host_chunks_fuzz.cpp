// Any chunks from the host, in every destination mode, after a request:
// no crash and no read or write outside any buffer.
#include <array>
#include <memory>
#include <vector>

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

// A gateway per mode, in a call that has reached the host: dialled, given
// the destination, the request sent. Driving it there costs more than most
// inputs, so it is done once and the state saved; every input starts from
// it and puts it back at its end.
class CallAtHost {
public:
    explicit CallAtHost(const Mode& mode) : fuzz(mode.type) {
        fuzz.terminalSends(mode.dial, 3);
        fuzz.terminalSends("IP10.1.2.3/5000\r\r\r", 64);
        fuzz.terminalSends(Make_Frame("TR12345678D1\x1C"
                                      "00000001\x1CK4111111111111111=2512"),
                           64);
        fuzz.forgetRecords();
        sent_ = fuzz.save();
    }
    void restore() { fuzz.restore(sent_); }

    FuzzGateway fuzz;

private:
    FuzzGateway::State sent_;
};

std::vector<std::unique_ptr<CallAtHost>> callsInEveryMode() {
    std::vector<std::unique_ptr<CallAtHost>> calls;
    for (const Mode& mode : kModes) calls.push_back(std::make_unique<CallAtHost>(mode));
    return calls;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto calls = callsInEveryMode();
    if (size < 2) return 0;
    CallAtHost& call = *calls[data[0] % kModes.size()];
    FuzzGateway& fuzz = call.fuzz;

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
    call.restore();
    return 0;
}
