#pragma once

#include <filesystem>

#include <unistd.h>

#include "app/gateway.h"
#include "engine_fakes.h"
#include "fake_cipher_exports.h"

namespace tavorline::fuzzing {

using namespace tavorline::testing;

// A started gateway on fakes, kept for the whole fuzzing run; each input
// begins with a reset.
class FuzzGateway {
public:
    FuzzGateway() {
        std::filesystem::create_directories(folder_);
        std::FILE* ini = std::fopen((folder_ / "vorn.Ini").c_str(), "wb");
        std::fputs("[VORN]\r\nEcPort=6\r\nEcSpeed=9600\r\nEcType=A\r\nAdslAddr=10.0.0.1\r\n"
                   "AdslSPort=5000\r\nAdslCPort=5000\r\nDnAddr=10.0.0.2\r\nDnPort=7000\r\n",
                   ini);
        std::fclose(ini);
        fake_cipher::install(library);
        versions.versions = VersionStrings{};
        gateway.FormCreate();
    }

    // The fakes remember everything; one input's worth is enough.
    void forgetRecords() {
        serial.chunks.clear();
        serial.openedWith.clear();
        host.writes.clear();
        host.connects.clear();
        host.resolved.clear();
        ui.statuses.clear();
        ui.errors.clear();
        web.sent.clear();
        clock.waits.clear();
    }

    void terminalSends(BytesView bytes, std::size_t perEvent) {
        serial.receive(bytes);
        while (!serial.input.empty()) {
            const auto count = std::min<std::size_t>({serial.input.size(), perEvent, 65535});
            gateway.AproTriggerAvail(static_cast<std::uint16_t>(count));
            if (dget.enabled()) gateway.DGetTimerTimer();
        }
    }
    void hostSends(BytesView chunk) {
        if (host.events != nullptr && host.open) host.events->onReceived(chunk);
    }
    void setType(const char* type) {
        gateway.config().Ini_Write("VORN", "EcType", type, gateway.config().iniPath());
    }

    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() / ("tavorline-fuzz-" + std::to_string(::getpid()));
    FakeSerialPort serial;
    FakeHostTransport host;
    FakeLibrary library;
    FakeTimer tm, dget, tminit;
    RecordingUi ui;
    RecordingWebBridge web;
    FakeClock clock;
    FakeVersionSource versions;
    Gateway gateway{GatewayPorts{serial, host, library, tm, dget, tminit, ui, web, clock, versions,
                                 folder_}};
};

// Stops the run with a crash libFuzzer reports, when a promise is broken.
inline void require(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace tavorline::fuzzing
