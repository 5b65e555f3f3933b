#pragma once

#include <algorithm>
#include <filesystem>

#include "app/gateway.h"
#include "engine_fakes.h"
#include "fake_cipher_exports.h"
#include "memory_files.h"
#include "support/framing.h"

namespace tavorline::fuzzing {

using namespace tavorline::testing;

// Stops the run with a crash libFuzzer reports, when a promise is broken.
inline void require(bool holds) {
    if (!holds) __builtin_trap();
}

// A started gateway on fakes, kept for the whole fuzzing run, with its
// files in memory. Each input begins from the state a reset leaves, set
// directly: a reset reloads the configuration, which would cost more than
// most inputs. Every input ends with toIdle() (or restore()), so the next
// one finds that state without setting it again.
class FuzzGateway {
public:
    explicit FuzzGateway(BytesView type = "A") {
        fake_cipher::install(library);
        versions.versions = VersionStrings{};
        setIniText(type);
        files.reset(iniFile_, ini_);
        gateway.FormCreate();
        settings_ = gateway.config().record();
        toIdle(type);
    }

    // No call, no host, the configuration file and the settings as at start
    // but for the communication type, no log, the fakes forgotten: what a
    // reset leaves, and less, since the call record and the request and
    // response fields are whole new (a call's end reads the fields, and an
    // input must not see those of the one before). Also the end of every
    // input: libFuzzer runs an input again, to look for leaks, when it
    // leaves more allocated than it found.
    void toIdle(BytesView type = "A") {
        gateway.host().Disconnect();
        setIniText(type);
        files.reset(iniFile_, ini_);
        gateway.config().record() = settings_;
        gateway.config().record().EcType = type;
        gateway.call() = CallRecord{};
        gateway.ReqFields.clear();
        gateway.RespFields.clear();
        gateway.DispMode = false;
        serial.input.clear();
        tm.enabled_ = false;
        dget.enabled_ = false;
        tminit.enabled_ = false;
        forgetRecords();
    }

    // Everything of the gateway and its fakes that an input can change,
    // but what the fakes only record: a state to come back to without
    // driving the gateway there again. The host link's address, port and
    // TLS choice are not in it: only a connect sets them, and no input
    // that starts from a saved call in progress can connect again; nor its
    // time-out and pins, which every load takes from the same file.
    struct State {
        CallRecord call;
        ConfigRecord settings;
        std::vector<Bytes> reqFields;
        std::vector<Bytes> respFields;
        MemoryFiles::Contents files;
        bool serialOpen = false;
        bool hostOpen = false;
        bool tm = false;
        bool dget = false;
        bool tminit = false;
    };
    State save() {
        State state;
        state.call = gateway.call();
        state.settings = gateway.config().record();
        state.reqFields = gateway.ReqFields;
        state.respFields = gateway.RespFields;
        state.files = files.files;
        state.serialOpen = serial.isOpen_;
        state.hostOpen = host.open;
        state.tm = tm.enabled_;
        state.dget = dget.enabled_;
        state.tminit = tminit.enabled_;
        return state;
    }
    void restore(const State& state) {
        gateway.call() = state.call;
        gateway.config().record() = state.settings;
        gateway.ReqFields = state.reqFields;
        gateway.RespFields = state.respFields;
        gateway.DispMode = false;
        files.files = state.files;
        serial.isOpen_ = state.serialOpen;
        serial.input.clear();
        host.open = state.hostOpen;
        tm.enabled_ = state.tm;
        dget.enabled_ = state.dget;
        tminit.enabled_ = state.tminit;
        forgetRecords();
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

    // The web screen hands over a WM_COPYDATA block, whatever it holds. A
    // last-data request gets the stored record (none is stored here) and
    // nothing else; a text of 31 bytes goes to the terminal as one frame;
    // anything else is only shown.
    void webScreenSends(BytesView block) {
        const std::size_t answersBefore = web.sent.size();
        const std::size_t writesBefore = serial.chunks.size();
        gateway.WMCopyData(block);
        const BytesView text = block.substr(0, block.find('\0'));
        if (text.size() >= 3 && text.substr(1, 2) == "LA") {
            require(web.sent.size() == answersBefore + 1);
            require(web.sent.back() ==
                    std::pair<std::uint64_t, Bytes>{gateway.webHandle(), "Empty"});
            require(serial.chunks.size() == writesBefore);
            return;
        }
        require(web.sent.size() == answersBefore && ui.statuses.back() == text);
        if (text.size() != 31) {
            require(serial.chunks.size() == writesBefore);
            return;
        }
        // Six fields of the request, trimmed, between STX and ETX, then the
        // check byte: at most the 31 bytes and five separators.
        require(serial.chunks.size() == writesBefore + 1);
        const Bytes& frame = serial.chunks.back();
        require(frame.size() >= 8 && frame.size() <= 31 + 5 + 3);
        require(frame.front() == '\x02' && frame[frame.size() - 2] == '\x03');
        require(Make_Frame(BytesView(frame).substr(1, frame.size() - 3)) == frame);
    }

    // Built in place: a new text per input would cost allocations every time.
    void setIniText(BytesView type) {
        ini_.assign("[VORN]\r\nEcPort=6\r\nEcSpeed=9600\r\nEcType=");
        ini_ += type;
        ini_ +=
            "\r\nAdslAddr=10.0.0.1\r\nAdslSPort=5000\r\nAdslCPort=5000\r\n"
            "DnAddr=10.0.0.2\r\nDnPort=7000\r\n";
    }
    // Never made on disk: every file the gateway opens is in `files`.
    std::filesystem::path folder_ = "/nonexistent/tavorline-fuzz";
    std::filesystem::path iniFile_ = folder_ / "vorn.Ini";

    MemoryFiles files;
    FakeSerialPort serial;
    FakeHostTransport host;
    FakeLibrary library;
    FakeTimer tm, dget, tminit;
    RecordingUi ui;
    RecordingWebBridge web;
    FakeClock clock;
    FakeVersionSource versions;
    Gateway gateway{GatewayPorts{serial, host, library, tm, dget, tminit, ui, web, clock, versions,
                                 folder_, nullptr, &files}};

private:
    ConfigRecord settings_;
    Bytes ini_;
};

}  // namespace tavorline::fuzzing
