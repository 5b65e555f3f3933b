// Per-byte cost of the terminal handshake: an ordinary 4 KiB request, and a
// flood of noise that matches nothing, inside and outside a call.
#include <benchmark/benchmark.h>

#include <filesystem>

#include <unistd.h>

#include "app/gateway.h"
#include "engine_fakes.h"

namespace tavorline {
namespace {

using namespace tavorline::testing;

// Bytes that start no sequence the handshake looks for.
Bytes noise(std::size_t size) {
    Bytes bytes;
    bytes.reserve(size);
    for (std::size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>('D' + i % 20));
    return bytes;
}

class BenchGateway {
public:
    BenchGateway() {
        std::filesystem::create_directories(folder_);
        versions_.versions = VersionStrings{};
        gateway_.FormCreate();
    }
    ~BenchGateway() { std::filesystem::remove_all(folder_); }

    void connect() {
        feed("\x0A\x0A\x0A");
        feed("IP127.0.0.1/5000\r\r\r");
    }
    void feed(BytesView bytes) {
        serial_.receive(bytes);
        while (!serial_.input.empty()) {
            gateway_.AproTriggerAvail(static_cast<std::uint16_t>(std::min<std::size_t>(serial_.input.size(), 65535)));
        }
    }
    Gateway& gateway() { return gateway_; }

private:
    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("tavorline-bench-" + std::to_string(::getpid()));
    FakeSerialPort serial_;
    FakeHostTransport host_;
    FakeLibrary library_;
    FakeTimer tm_, dget_, tminit_;
    RecordingUi ui_;
    RecordingWebBridge web_;
    FakeClock clock_;
    FakeVersionSource versions_;
    Gateway gateway_{GatewayPorts{serial_, host_, library_, tm_, dget_, tminit_, ui_, web_, clock_,
                                  versions_, folder_}};
};

// A request of `size` bytes arriving during a call; the buffer is emptied
// between requests as forwarding does.
void requestBytes(benchmark::State& state) {
    BenchGateway bench;
    bench.connect();
    const Bytes request = noise(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        bench.feed(request);
        state.PauseTiming();
        bench.gateway().call().RecvBuf.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(requestBytes)->Arg(4096)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

// Noise while no call is up: the buffer must stay bounded and the cost flat.
void idleNoise(benchmark::State& state) {
    BenchGateway bench;
    const Bytes flood = noise(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) bench.feed(flood);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(idleNoise)->Arg(4096)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavorline

BENCHMARK_MAIN();
