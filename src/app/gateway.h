#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "app/ui_sink.h"
#include "app/web_bridge.h"
#include "host/cipher_library.h"
#include "host/host_connection.h"
#include "support/clock.h"
#include "support/configuration.h"
#include "support/daily_log.h"
#include "support/timer.h"
#include "terminal/receive_buffer.h"
#include "terminal/serial_port.h"

namespace tavorline {

// How long a host connect may take: the HostTimeout key in seconds, 10 when
// missing or not a positive number, at most 120.
std::chrono::milliseconds hostConnectTimeout(BytesView setting);

// Everything the gateway reaches outside itself. The shell owns these and
// binds each timer's tick to its handler (TM to TMTimer, DGetTimer to
// DGetTimerTimer, TMInit to TMInitTimer).
struct GatewayPorts {
    SerialPort& serial;
    HostTransport& hostTransport;
    DynamicLibrary& cipherLibrary;
    Timer& TM;
    Timer& DGetTimer;
    Timer& TMInit;
    UiSink& ui;
    WebBridge& web;
    Clock& clock;
    const VersionSource& versions;
    std::filesystem::path programFolder;
    // Lets the daily log stay open between lines; without it each line
    // opens the file.
    const FileIdentityProbe* fileIdentity = nullptr;
    // Where the configuration file and the logs are kept: the disk unless
    // given.
    FileStore* files = nullptr;
};

// The one call the gateway carries at a time.
struct CallRecord {
    ReceiveBuffer RecvBuf;
    std::int32_t CallStage = 0;  // 0 idle, 2 prompted, 3 connected, 4 request forwarded
    Bytes DestMode;              // "CR", "LF", "FF", "VT", "AD", "AR" or empty
    Bytes HostAddr;
    Bytes HostPort;
    // Full from the start: when the first reset fails before refilling it,
    // a run-out countdown would make the watchdog's first tick reset again
    // and report the same port error a second time.
    std::int32_t WatchCount = 30;
    std::int32_t KeyStage = 0;  // 0 none, 1 RSA key awaited, 2 key sent, 3 keyed
    CipherKey cipherKey{};
    int TMTag = 0;  // 1 while the terminal has been active since the last reset
};

// The gateway: the call record and every handler of the terminal link, the
// host link and the shell. All handlers run on one thread; the waits they
// make block it on purpose, as the terminal protocol expects.
class Gateway : private HostConnectionEvents {
public:
    explicit Gateway(GatewayPorts ports);
    ~Gateway() override;
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;

    // Start and end.
    void FormCreate();
    void FormDestroy();
    // The reset of port and call. Throws when the serial port cannot open.
    void BT_INITClick();
    // After the settings dialog closed: reload, retitle, reset when the port
    // or its speed changed.
    void settingsClosed(const Bytes& portBefore, const Bytes& speedBefore);
    void disp_mess(BytesView text);
    void TMTimer();

    // Terminal link.
    void AproTriggerAvail(std::uint16_t count);
    void AproSend(BytesView text);
    // The serial device went away; the shell has closed the port. The next
    // reset opens it again.
    void AproLineLost(BytesView reason);
    // The lost device is back: a reset opens it again at once, as nobody may
    // be at the counter to press the button (and headless has none).
    void AproLineBack();
    void DGetTimerTimer();

    // Web screen.
    void WMWebHandle(std::uint64_t handle);
    // `block` is the data block as received; it is read up to its first NUL.
    void WMCopyData(BytesView block);
    void WebSend(BytesView text);
    void TMInitTimer();

    // Host link.
    HostConnection& host() { return host_; }

    const CallRecord& call() const { return call_; }
    CallRecord& call() { return call_; }
    Configuration& config() { return config_; }
    const DailyLog& log() const { return log_; }
    CipherLibrary& cipher() { return cipher_; }
    std::uint64_t webHandle() const { return webHandle_; }

    bool DispMode = false;
    std::vector<Bytes> ReqFields;
    std::vector<Bytes> RespFields;

private:
    // HostConnectionEvents
    void IdConnectionIntercept1Connect() override;
    void IdConnectionIntercept1Disconnect() override;
    void HOSTStatus(BytesView text) override;
    void IdConnectionIntercept1Receive(BytesView chunk) override;
    void hostKeyPresented(BytesView pin, bool trusted) override;

    // Call handshake, one byte at a time.
    void handleByte(char byte);
    void traceReceivedByte(char byte);
    bool tryResetSequence();
    bool tryLogon();
    bool tryLineCheck();
    bool tryDial();
    bool tryDestination();
    void takeDestination();
    void rotateAdslPort();
    void fillDefaultDestination();
    void applyTypeRules();
    void connectHost();
    void limitIdleBuffer();
    void waitUntilSent();

    void sendSevenEnq();
    void loadConfig();
    void updateTitle();
    void loadCipherLibrary();

    // Request forwarding.
    void forwardShortRequest();
    void forwardFullRequest();
    void writeToHost(const Bytes& bytes);
    void keepForNextRequest();

    // Host replies.
    void answerKeyExchange(const Bytes& data);
    void finishKeyExchange(const Bytes& data);
    Bytes decryptKeyed(const Bytes& data);
    void relayControl(const Bytes& data, std::size_t size);
    void passThrough(const Bytes& data, std::size_t size);
    void relayResponse(Bytes data, std::size_t size);
    void endOfCall();
    void storeLastData(const Bytes& record);

    void applyTimerSettings();
    Bytes destinationText() const;
    void log(BytesView line) const;
    Bytes now() const;

    GatewayPorts ports_;
    Configuration config_;
    DailyLog log_;
    CipherLibrary cipher_;
    HostConnection host_;
    CallRecord call_;
    std::uint64_t webHandle_ = 0;
    Bytes reportedLogProblem_;
};

}  // namespace tavorline
