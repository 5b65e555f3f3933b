#include "app/gateway.h"

#include "app/port_setting.h"

#include "support/framing.h"
#include "support/seconds_setting.h"
#include "support/text_format.h"
#include "support/texts.h"

namespace tavorline {
namespace {

constexpr std::chrono::milliseconds kResetPause{200};
constexpr std::int32_t kWatchFull = 30;
constexpr std::int32_t kWatchAfterTimeout = 60;

FileStore& storeOf(const GatewayPorts& ports) {
    return ports.files != nullptr ? *ports.files : diskFiles();
}

}  // namespace

Gateway::Gateway(GatewayPorts ports)
    : ports_(std::move(ports)),
      config_(ports_.programFolder, ports_.versions, storeOf(ports_)),
      log_(ports_.programFolder, ports_.clock, ports_.fileIdentity, storeOf(ports_)),
      cipher_(ports_.cipherLibrary),
      host_(ports_.hostTransport, *this) {}

Gateway::~Gateway() = default;

void Gateway::FormCreate() {
    webHandle_ = 0;
    ReqFields.clear();
    RespFields.clear();
    loadConfig();
    updateTitle();
    loadCipherLibrary();
    BT_INITClick();
    call_.CallStage = 0;
    call_.KeyStage = 0;
    call_.RecvBuf.clear();
    TMTimer();
}

void Gateway::FormDestroy() {
    ports_.serial.close();
    host_.Disconnect();
    cipher_.unload();
    ReqFields.clear();
    RespFields.clear();
}

// The port is reopened with the settings held before the reload below, so a
// port number edited by hand takes effect at the next reset.
void Gateway::BT_INITClick() {
    disp_mess(texts::kStatusResetting);
    ports_.serial.close();
    ports_.serial.setComNumber(Str_ToNum(config_.record().EcPort));
    ports_.serial.setBaud(Str_ToNum(config_.record().EcSpeed));
    ports_.clock.wait(kResetPause);
    if (Str_ToNum(config_.record().EcPort) <= 0) {
        const Bytes& ini = config_.iniPath();
        throw SerialError(
            missingPortAdvice(ini, config_.files().exists(ini), config_.record().EcPort));
    }
    ports_.serial.open();
    host_.Disconnect();
    // After the disconnect, so that its log line still names the dropped call.
    call_.DestMode.clear();
    ports_.serial.setMonitoring(true);
    disp_mess(texts::kStatusWaiting);
    loadConfig();
    call_.CallStage = 0;
    call_.KeyStage = 0;
    call_.RecvBuf.clear();
    ports_.serial.flushInBuffer();
    call_.WatchCount = kWatchFull;
    call_.TMTag = 0;
    TMTimer();
}

void Gateway::settingsClosed(const Bytes& portBefore, const Bytes& speedBefore) {
    loadConfig();
    updateTitle();
    if (config_.record().EcPort != portBefore || config_.record().EcSpeed != speedBefore) {
        BT_INITClick();
    }
}

void Gateway::disp_mess(BytesView text) { ports_.ui.showStatus(text); }

// The watchdog check. The countdown is refilled by every byte to or from the
// terminal, so only a call that has gone quiet runs out.
void Gateway::TMTimer() {
    if (call_.TMTag == 1 && call_.CallStage > 0) --call_.WatchCount;
    if (call_.WatchCount < 1) {
        call_.WatchCount = kWatchAfterTimeout;
        BT_INITClick();
    }
}

// Every load also applies the timer settings. A LOG folder that cannot be
// made is shown once, not at every reset.
void Gateway::loadConfig() {
    config_.Load_Config();
    applyTimerSettings();
    const Bytes& problem = config_.logFolderProblem();
    if (!problem.empty() && problem != reportedLogProblem_) ports_.ui.reportError(problem);
    reportedLogProblem_ = problem;
}

// Which copy of the library answered is the first thing to know when card
// data comes out wrong: a shop may have several on the PC.
void Gateway::loadCipherLibrary() {
    cipher_.load();
    const Bytes file = ports_.cipherLibrary.loadedFrom();
    if (file.empty()) return;
    const Bytes text = "VornLib: " + file;
    disp_mess(text);
    log(Format("[DLL  %s][%s]", {now(), text}));
}

void Gateway::updateTitle() {
    ports_.ui.setTitle("Tavorline[" + config_.version().FileVersion +
                       "] Com:" + config_.record().EcPort);
}

// Terminals time their calls out themselves, so the watchdog only ticks when
// the shop asks for it; a dead host is bounded by the connect time-out.
void Gateway::applyTimerSettings() {
    ports_.TM.setEnabled(config_.record().WatchdogYn == "Y");
    host_.setConnectTimeout(hostConnectTimeout(config_.record().HostTimeout));
    ports_.hostTransport.setOldestTls(oldestTlsSetting(config_.record().TlsMinVersion));
    host_.setHostKeyPins(HostKeyPins::parse(config_.record().TlsPin));
}

Bytes Gateway::destinationText() const {
    return call_.DestMode + ":" + call_.HostAddr + "/" + call_.HostPort;
}

void Gateway::log(BytesView line) const { log_.Write_Log(line); }

Bytes Gateway::now() const { return TimeText(ports_.clock.now()); }

std::chrono::milliseconds hostConnectTimeout(BytesView setting) {
    return secondsSetting(setting, 10, 120);
}

}  // namespace tavorline
