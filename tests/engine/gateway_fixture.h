#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
#include <utility>

#include "app/gateway.h"
#include "engine_fakes.h"
#include "support/profile_file.h"

namespace tavorline::testing {

// The working folder changed for one scope: the receive trace the display
// switch turns on is a file named relative to it, and a test must leave it
// only in a folder of its own.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::filesystem::path previous_;
};

// A gateway on fakes, in a program folder of its own with a real vorn.Ini
// and a real daily log.
class GatewayFixture : public ::testing::Test {
protected:
    GatewayFixture() {
        versions.versions = VersionStrings{};
        versions.versions->FileVersion = "6.0.2.2";
        writeIni({{"EcPort", "6"},
                  {"EcSpeed", "9600"},
                  {"EcType", "A"},
                  {"AdslAddr", "10.9.9.9"},
                  {"AdslSPort", "5000"},
                  {"AdslCPort", "5000"},
                  {"DnAddr", "10.1.1.1"},
                  {"DnPort", "7000"},
                  {"UpAddr", "10.2.2.2"},
                  {"UpPort", "8000"}});
    }
    void writeIni(std::initializer_list<std::pair<const char*, const char*>> keys) {
        std::ofstream file(folder / "vorn.Ini", std::ios::binary | std::ios::trunc);
        file << "[VORN]\r\n";
        for (const auto& [key, value] : keys) file << key << "=" << value << "\r\n";
    }
    void setIni(const char* key, BytesView value) {
        profile::writeValue(folder / "vorn.Ini", "VORN", key, value);
    }
    Bytes ini(const char* key) const {
        return profile::readValue(folder / "vorn.Ini", "VORN", key).value_or("Empty");
    }

    // Starts the gateway as the program does.
    void start() {
        gateway.FormCreate();
        serial.chunks.clear();
        clock.waits.clear();
        ui.statuses.clear();
    }

    // The terminal sends bytes; one receive event reports them all.
    void terminalSends(BytesView bytes) {
        serial.receive(bytes);
        gateway.AproTriggerAvail(static_cast<std::uint16_t>(serial.input.size()));
    }

    // A call in `mode` up to the prompt, then the destination line.
    void dialAndConnect(BytesView dial, BytesView destination) {
        terminalSends(dial);
        terminalSends(destination);
    }

    std::vector<Bytes> logLines() const {
        std::ifstream file(gateway.log().todaysPath(), std::ios::binary);
        std::stringstream content;
        content << file.rdbuf();
        std::vector<Bytes> lines;
        Bytes all = content.str();
        std::size_t start = 0;
        for (std::size_t end; (end = all.find("\r\n", start)) != Bytes::npos; start = end + 2) {
            lines.push_back(all.substr(start, end - start));
        }
        return lines;
    }

    std::filesystem::path folder = freshFolder();
    // Destroyed after the gateway, once today's log is closed: Windows
    // refuses to delete a file that is still open.
    struct FolderRemover {
        const std::filesystem::path& folder;
        ~FolderRemover() { std::filesystem::remove_all(folder); }
    } removeFolderLast{folder};
    FakeSerialPort serial;
    FakeHostTransport host;
    FakeLibrary library;
    FakeTimer tm;
    FakeTimer dget;
    FakeTimer tminit;
    RecordingUi ui;
    RecordingWebBridge web;
    FakeClock clock;
    FakeVersionSource versions;
    Gateway gateway{GatewayPorts{serial, host, library, tm, dget, tminit, ui, web, clock, versions,
                                 folder}};

private:
    static std::filesystem::path freshFolder() {
        auto path = std::filesystem::temp_directory_path() /
                    ("tavorline-engine-" + std::to_string(std::random_device{}()));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        return path;
    }
};

}  // namespace tavorline::testing
