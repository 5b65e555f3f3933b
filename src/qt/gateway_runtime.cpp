#include "qt/gateway_runtime.h"

#include <QCoreApplication>

#include "app/error_guard.h"
#include "qt/cp949.h"
#include "support/text_format.h"

namespace tavorline {
namespace {

constexpr char kCipherLibraryFile[] = "libVornLib.so";
constexpr std::chrono::milliseconds kWatchdogInterval{1000};
constexpr std::chrono::milliseconds kRequestQuietPeriod{100};
constexpr std::chrono::milliseconds kStatusRestoreDelay{1000};

}  // namespace

template <typename Handler>
void GatewayRuntime::guarded(Handler&& handler) {
    runGuarded(ui_, std::forward<Handler>(handler));
}

GatewayRuntime::GatewayRuntime(std::filesystem::path programFolder, UiSink& ui,
                               std::filesystem::path bridgePath)
    : ui_(ui),
      serial_(programFolder),
      cipherLibrary_(
          QtDynamicLibrary::candidatesFor(QLatin1String(kCipherLibraryFile), programFolder)),
      TM_(kWatchdogInterval),
      DGetTimer_(kRequestQuietPeriod),
      TMInit_(kStatusRestoreDelay),
      bridgePath_(bridgePath.empty() ? LocalWebBridge::defaultSocketPath(programFolder)
                                     : std::move(bridgePath)),
      gateway_(GatewayPorts{serial_, hostTransport_, cipherLibrary_, TM_, DGetTimer_, TMInit_, ui_,
                            web_, clock_, versions_, programFolder, &fileIdentity_}) {
    TM_.setHandler([this] { guarded([this] { gateway_.TMTimer(); }); });
    DGetTimer_.setHandler([this] { guarded([this] { gateway_.DGetTimerTimer(); }); });
    TMInit_.setHandler([this] { guarded([this] { gateway_.TMInitTimer(); }); });
    serial_.setReceiveHandler([this](std::uint16_t count) {
        guarded([this, count] { gateway_.AproTriggerAvail(count); });
    });
    QObject::connect(&serial_, &QtSerialPort::lineLost, [this](const QString& reason) {
        guarded([this, &reason] { gateway_.AproLineLost(toCp949(reason)); });
    });
    QObject::connect(&serial_, &QtSerialPort::lineBack,
                     [this] { guarded([this] { gateway_.AproLineBack(); }); });
    web_.setWebHandleHandler([this](std::uint64_t handle) {
        guarded([this, handle] { gateway_.WMWebHandle(handle); });
    });
    web_.setCopyDataHandler(
        [this](BytesView block) { guarded([this, block] { gateway_.WMCopyData(block); }); });
    // What goes wrong on the web screen's channel belongs in the daily log.
    web_.setDiagnostics([this](const QString& line) {
        gateway_.log().Write_Log(Format("[WEB  %s][%s]", {TimeText(clock_.now()), toCp949(line)}));
    });
}

GatewayRuntime::~GatewayRuntime() = default;

void GatewayRuntime::start() {
    guarded([this] { gateway_.FormCreate(); });
    guarded([this] {
        web_.setReplyTimeout(webReplyTimeout(
            gateway_.config().Ini_Read(kSection, "WebTimeout", gateway_.config().iniPath())));
    });
    // A socket that cannot be set up has logged why; the gateway runs on.
    web_.listen(bridgePath_);
}

void GatewayRuntime::stop() {
    QCoreApplication::processEvents();
    web_.close();
    guarded([this] { gateway_.FormDestroy(); });
}

}  // namespace tavorline
