// The gateway's answer to the terminal: it plays the dial-up/ADSL gateway the
// terminal expects. Bytes are taken one at a time and, after each, the
// receive buffer is tested for the sequences below in a fixed order.
#include <charconv>

#include "app/gateway.h"
#include "support/framing.h"
#include "support/text_format.h"
#include "support/texts.h"

namespace tavorline {
namespace {

constexpr std::chrono::milliseconds kPromptPause{100};
constexpr std::chrono::milliseconds kReplyPause{200};
constexpr BytesView kResetSequence = "CCCCC";
constexpr BytesView kLogonSequence = "\x0F\x0F\x0F";
constexpr BytesView kDialCr = "\x0D\x0D\x0D";
constexpr BytesView kLogonBody = "010101010101C5000Tavorline6Tavorline6";
constexpr BytesView kLogonStatus = "ADSL LOGON ...";
constexpr BytesView kPrompt = "*DESTINATION:";
constexpr BytesView kThreeAck = "\x06\x06\x06";
// Sequences at the start of the buffer must begin within these positions.
constexpr std::size_t kResetWithin = 9;
constexpr std::size_t kLogonWithin = 9;
constexpr std::size_t kDialCrWithin = 6;
// Outside a call the terminal sends only short control sequences and a
// destination line. Noise beyond this is dropped, keeping enough of its end
// for a sequence that straddles the cut.
constexpr std::size_t kIdleBufferLimit = 4096;
constexpr std::size_t kIdleBufferKeep = 8;

// A port as a whole decimal number, or 0.
std::int32_t integerOrZero(BytesView text) {
    std::int32_t value = 0;
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return 0;
    return value;
}

}  // namespace

void Gateway::AproTriggerAvail(std::uint16_t count) {
    call_.WatchCount = 30;
    call_.TMTag = 1;
    ports_.serial.setMonitoring(true);
    // Every pass counts, even one that finds no byte ready.
    for (std::uint16_t pass = count; pass > 0; --pass) {
        if (!ports_.serial.charReady()) continue;
        handleByte(static_cast<char>(ports_.serial.getChar()));
    }
}

void Gateway::handleByte(char byte) {
    if (DispMode) traceReceivedByte(byte);
    call_.RecvBuf.append(byte);
    if (tryResetSequence() || tryLogon() || tryLineCheck() || tryDial() || tryDestination()) {
        return;
    }
    if (call_.CallStage >= 3) {
        // The request goes to the host once the line has been quiet for 100 ms.
        ports_.DGetTimer.setEnabled(false);
        ports_.DGetTimer.setEnabled(true);
        return;
    }
    limitIdleBuffer();
}

// The receive trace shows each byte as it arrives, before it joins the buffer.
void Gateway::traceReceivedByte(char byte) {
    log_.Write_Log(Format("[RECV %s][%s]", {now(), Str_ToHex(BytesView(&byte, 1))}), "log.txt");
}

bool Gateway::tryResetSequence() {
    if (!foundWithin(call_.RecvBuf.bytes(), kResetSequence, kResetWithin)) return false;
    log(Format("[SR   %s][%s]", {now(), call_.RecvBuf.bytes()}));
    call_.CallStage = 0;
    call_.KeyStage = 0;
    call_.RecvBuf.clear();
    call_.WatchCount = 30;
    call_.TMTag = 0;
    host_.Disconnect();
    disp_mess(texts::kStatusWaiting);
    return true;
}

// The logon leaves an open host connection as it is.
bool Gateway::tryLogon() {
    if (!foundWithin(call_.RecvBuf.bytes(), kLogonSequence, kLogonWithin)) return false;
    ports_.clock.wait(kReplyPause);
    AproSend(Make_Frame(kLogonBody));
    disp_mess(kLogonStatus);
    log(Format("[LOG  %s][%s]", {now(), "Only Log On"}));
    call_.CallStage = 0;
    call_.KeyStage = 0;
    call_.RecvBuf.clear();
    return true;
}

// While idle, a buffer holding an ETX is a line-check frame (or debris) and
// never dials.
bool Gateway::tryLineCheck() {
    if (!call_.RecvBuf.hasEtx() || call_.CallStage != 0) return false;
    Bytes rest = call_.RecvBuf.bytes();
    Get_Token(rest, BytesView(&ctl::STX, 1));
    call_.RecvBuf.assign(rest);
    if (BytesView(rest).starts_with("LC")) {
        ports_.clock.wait(kReplyPause);
        AproSend(kThreeAck);
        call_.RecvBuf.clear();
        log(Format("[CHCK %s][%s]", {now(), "Line Check "}));
    }
    return true;
}

bool Gateway::tryDial() {
    const ReceiveBuffer& buffer = call_.RecvBuf;
    const bool idle = call_.CallStage == 0;
    const bool dial = (idle && foundWithin(buffer.bytes(), kDialCr, kDialCrWithin)) ||
                      (idle && (buffer.hasThreeVt() || buffer.hasThreeLf() || buffer.hasThreeFf())) ||
                      buffer.hasRedial();
    if (!dial) return false;
    // Later tests win: a buffer with three CR and three VT dials "VT".
    if (idle && buffer.hasThreeCr()) call_.DestMode = "CR";
    if (idle && buffer.hasThreeLf()) call_.DestMode = "LF";
    if (idle && buffer.hasThreeFf()) call_.DestMode = "FF";
    if (buffer.hasRedial()) call_.DestMode = "FF";
    if (idle && buffer.hasThreeVt()) call_.DestMode = "VT";
    call_.CallStage = 2;
    ports_.clock.wait(kPromptPause);
    AproSend(kPrompt);
    call_.RecvBuf.clear();
    disp_mess(texts::kStatusConnecting);
    return true;
}

bool Gateway::tryDestination() {
    if (!call_.RecvBuf.hasThreeCr() || call_.CallStage != 2) return false;
    takeDestination();
    return true;
}

void Gateway::limitIdleBuffer() {
    if (call_.RecvBuf.size() > kIdleBufferLimit) call_.RecvBuf.keepTail(kIdleBufferKeep);
}

// The destination line: "IP", host, "/", port, three CR.
void Gateway::takeDestination() {
    call_.CallStage = 3;
    Bytes line = call_.RecvBuf.bytes();
    if (const auto ip = line.find("IP"); ip != Bytes::npos) line.erase(0, ip + 2);
    Bytes destination = Trim(Get_Token(line, BytesView(&ctl::CR, 1)));
    call_.HostAddr = Trim(Get_Token(destination, "/"));
    call_.HostPort = Trim(destination);

    log_.Write_Log("");
    log(Format("[VER  %s][%s]", {now(), config_.version().FileVersion}));
    rotateAdslPort();
    fillDefaultDestination();
    applyTypeRules();
    connectHost();
}

// The ADSL host listens on ten ports, AdslSPort .. AdslSPort + 9; every call
// takes the next one, and the choice survives a restart.
void Gateway::rotateAdslPort() {
    ConfigRecord& record = config_.record();
    const std::int64_t current = Str_ToNum(record.AdslCPort);
    const std::int64_t start = Str_ToNum(record.AdslSPort);
    if (start <= current && current < start + 9) {
        record.AdslCPort = DecimalText(current + 1);
    } else {
        record.AdslCPort = record.AdslSPort;
    }
    // A configuration file that cannot be written must not stop the payment:
    // the error is shown and the call goes on with the port just chosen.
    try {
        config_.Ini_Write(kSection, "AdslCPort", record.AdslCPort, config_.iniPath());
    } catch (const ConfigWriteError& error) {
        ports_.ui.reportError(error.what());
    }
}

void Gateway::fillDefaultDestination() {
    const ConfigRecord& record = config_.record();
    const Bytes& mode = call_.DestMode;
    if (Trim(call_.HostAddr).empty()) {
        if (mode == "LF") call_.HostAddr = record.DnAddr;
        if (mode == "VT") call_.HostAddr = record.UpAddr;
        if (mode == "FF") call_.HostAddr = record.FfAddr;
    }
    if (Trim(call_.HostPort).empty()) {
        if (mode == "LF") call_.HostPort = record.DnPort;
        if (mode == "VT") call_.HostPort = record.UpPort;
        if (mode == "FF") call_.HostPort = record.FfPort;
    }
    if (mode == "CR") {
        call_.HostAddr = record.AdslAddr;
        call_.HostPort = record.AdslCPort;
    }
}

// EcType "D" sends CR calls to the 3DES host (port + 10000); "R" sends every
// call but VT through the RSA key exchange (port + 20000).
void Gateway::applyTypeRules() {
    const Bytes& type = config_.record().EcType;
    if (call_.DestMode == "CR" && type == "D") call_.DestMode = "AD";
    if (call_.DestMode != "VT" && type == "R") call_.DestMode = "AR";
    if (call_.DestMode == "AD") call_.HostPort = DecimalText(integerOrZero(call_.HostPort) + 10000LL);
    if (call_.DestMode == "AR") call_.HostPort = DecimalText(integerOrZero(call_.HostPort) + 20000LL);
}

void Gateway::connectHost() {
    const Bytes& type = config_.record().EcType;
    const Bytes& mode = call_.DestMode;
    host_.Disconnect();
    const bool plain = type == "T" || mode == "VT" || mode == "AD" || mode == "AR";
    host_.useTls(!plain);
    host_.setHost(call_.HostAddr);
    host_.setPort(integerOrZero(call_.HostPort));
    ports_.ui.setAddress(type + mode + ":" + call_.HostAddr + "/" + call_.HostPort);
    try {
        host_.Connect();
    } catch (const TlsPinMalformed&) {
        // Said at every call until the setting is fixed: the counter must
        // learn why card payments stopped.
        const Bytes text = Bytes(texts::kTlsPinMalformed) + destinationText() + ")";
        log(Format("[HOST %s][%s]", {now(), text}));
        log(Format("[HOST %s][%s]", {now(), Bytes(texts::kLogConnectFailed) + destinationText() + ")"}));
        disp_mess(text);
        BT_INITClick();
        call_.RecvBuf.clear();
        return;
    } catch (const std::exception&) {
        log(Format("[HOST %s][%s]", {now(), Bytes(texts::kLogConnectFailed) + destinationText() + ")"}));
        disp_mess(Bytes(texts::kStatusHostFailed) + destinationText() + ")");
        BT_INITClick();
        call_.RecvBuf.clear();
        return;
    }
    disp_mess(texts::kStatusReceiving);
    call_.RecvBuf.clear();
}

}  // namespace tavorline
