#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/ui_sink.h"
#include "app/web_bridge.h"
#include "host/dynamic_library.h"
#include "host/host_transport.h"
#include "support/configuration.h"
#include "support/timer.h"
#include "terminal/serial_port.h"

#include "../support/fake_clock.h"

namespace tavorline::testing {

// A serial line: what the terminal sends waits in `input`; every chunk the
// gateway queued is in `chunks`.
class FakeSerialPort : public SerialPort {
public:
    void setComNumber(int number) override { comNumber = number; }
    void setBaud(int value) override { baud = value; }
    void open() override {
        ++opens;
        openedWith.push_back({comNumber, baud});
        if (failOpen) throw SerialError("Cannot open COM" + std::to_string(comNumber));
        isOpen_ = true;
    }
    void close() override {
        if (isOpen_) ++closes;
        isOpen_ = false;
    }
    bool isOpen() const override { return isOpen_; }
    bool charReady() override { return !input.empty(); }
    unsigned char getChar() override {
        const auto byte = static_cast<unsigned char>(input.front());
        input.pop_front();
        return byte;
    }
    void putString(BytesView bytes) override {
        if (failPutAt && chunks.size() + 1 == *failPutAt) throw SerialError("write failed");
        chunks.emplace_back(bytes);
        if (!queueLevels.empty()) {
            queued = queueLevels.front();
            queueLevels.pop_front();
        }
    }
    int outBuffUsed() override {
        const int now = queued;
        if (drainPerPoll > 0) queued = std::max(0, queued - drainPerPoll);
        return now;
    }
    void flushOutBuffer() override { ++outFlushes; }
    void flushInBuffer() override {
        ++inFlushes;
        input.clear();
    }
    void setMonitoring(bool on) override { monitoring = on; }

    void receive(BytesView bytes) { input.insert(input.end(), bytes.begin(), bytes.end()); }
    // Everything written to the terminal, run together.
    Bytes written() const {
        Bytes all;
        for (const auto& chunk : chunks) all += chunk;
        return all;
    }

    int comNumber = 0;
    int baud = 0;
    std::vector<std::pair<int, int>> openedWith;
    int opens = 0;
    int closes = 0;
    bool failOpen = false;
    bool isOpen_ = false;
    std::deque<char> input;
    std::vector<Bytes> chunks;
    std::optional<std::size_t> failPutAt;  // 1-based chunk that fails
    std::deque<int> queueLevels;           // queue level after each put
    int queued = 0;
    int drainPerPoll = 0;
    int outFlushes = 0;
    int inFlushes = 0;
    bool monitoring = false;
};

struct ConnectCall {
    Bytes host;
    int port = 0;
    bool tls = false;
    std::chrono::milliseconds timeout{};
};

class FakeHostTransport : public HostTransport {
public:
    void setEvents(HostTransportEvents* value) override { events = value; }
    void setOldestTls(TlsVersion version) override { oldestTls = version; }
    Bytes resolve(const Bytes& hostName, std::chrono::milliseconds timeout) override {
        resolved.push_back(hostName);
        resolveTimeouts.push_back(timeout);
        const auto found = addresses.find(hostName);
        if (found == addresses.end()) throw HostError("Host not found");
        return found->second;
    }
    void connect(const Bytes& host, int port, bool tls,
                 std::chrono::milliseconds timeout) override {
        connects.push_back({host, port, tls, timeout});
        if (failConnect) throw HostError("Connection refused");
        open = true;
    }
    void close() override {
        if (open) ++closes;
        open = false;
    }
    bool isOpen() const override { return open; }
    Bytes peerKeyDigest() const override { return open && connects.back().tls ? peerKey : Bytes(); }
    void write(BytesView bytes) override {
        if (failWrite) {
            open = false;  // as a real socket does when a write fails
            throw HostError("Socket error");
        }
        writes.emplace_back(bytes);
    }

    HostTransportEvents* events = nullptr;
    TlsVersion oldestTls = TlsVersion::V1_2;
    std::map<Bytes, Bytes> addresses;
    std::vector<Bytes> resolved;
    std::vector<std::chrono::milliseconds> resolveTimeouts;
    std::vector<ConnectCall> connects;
    std::vector<Bytes> writes;
    bool failConnect = false;
    bool failWrite = false;
    bool open = false;
    int closes = 0;
    Bytes peerKey = Bytes(32, 'A');  // what the TLS host presents
};

class FakeTimer : public Timer {
public:
    void setEnabled(bool value) override {
        if (value && !enabled_) ++starts;
        enabled_ = value;
    }
    bool enabled() const override { return enabled_; }
    bool enabled_ = false;
    int starts = 0;
};

// Local time stands still unless a test moves it; waits are recorded, not slept.
class RecordingUi : public UiSink {
public:
    void showStatus(BytesView text) override { statuses.emplace_back(text); }
    void setTitle(BytesView text) override { title = text; }
    void setAddress(BytesView text) override { address = text; }
    void setDisplayField(DisplayField field, BytesView text) override {
        display[static_cast<int>(field)] = text;
    }
    void clearDisplay() override {
        ++displayClears;
        for (auto& field : display) field.clear();
    }
    void showDisplayWindow() override { ++displayShows; }
    void reportError(BytesView message) override { errors.emplace_back(message); }

    std::vector<Bytes> statuses;
    Bytes title;
    Bytes address;
    Bytes display[4];
    int displayClears = 0;
    int displayShows = 0;
    std::vector<Bytes> errors;
};

class RecordingWebBridge : public WebBridge {
public:
    void send(std::uint64_t handle, BytesView text) override {
        sent.push_back({handle, Bytes(text)});
    }
    std::vector<std::pair<std::uint64_t, Bytes>> sent;
};

class FakeVersionSource : public VersionSource {
public:
    std::optional<VersionStrings> read() const override { return versions; }
    std::optional<VersionStrings> versions;
};

// Resolves exports from a table; an empty table is a library that is missing.
class FakeLibrary : public DynamicLibrary {
public:
    bool load() override {
        ++loads;
        return loadable;
    }
    void* resolve(const char* symbol) override {
        const auto found = symbols.find(symbol);
        return found == symbols.end() ? nullptr : found->second;
    }
    void unload() override { ++unloads; }
    Bytes loadedFrom() const override { return file; }

    bool loadable = true;
    Bytes file;
    std::map<std::string, void*> symbols;
    int loads = 0;
    int unloads = 0;
};

}  // namespace tavorline::testing
