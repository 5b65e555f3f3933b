#include "app/qt/gateway_runtime.h"

#include <QCoreApplication>

#include "app/error_guard.h"

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

GatewayRuntime::GatewayRuntime(std::filesystem::path programFolder, UiSink& ui)
    : ui_(ui),
      serial_(programFolder),
      cipherLibrary_(
          QtDynamicLibrary::candidatesFor(QLatin1String(kCipherLibraryFile), programFolder)),
      TM_(kWatchdogInterval),
      DGetTimer_(kRequestQuietPeriod),
      TMInit_(kStatusRestoreDelay),
      gateway_(GatewayPorts{serial_, hostTransport_, cipherLibrary_, TM_, DGetTimer_, TMInit_, ui_,
                            web_, clock_, versions_, programFolder}) {
    TM_.setHandler([this] { guarded([this] { gateway_.TMTimer(); }); });
    DGetTimer_.setHandler([this] { guarded([this] { gateway_.DGetTimerTimer(); }); });
    TMInit_.setHandler([this] { guarded([this] { gateway_.TMInitTimer(); }); });
    serial_.setReceiveHandler([this](std::uint16_t count) {
        guarded([this, count] { gateway_.AproTriggerAvail(count); });
    });
}

GatewayRuntime::~GatewayRuntime() = default;

void GatewayRuntime::start() {
    guarded([this] { gateway_.FormCreate(); });
}

void GatewayRuntime::stop() {
    QCoreApplication::processEvents();
    guarded([this] { gateway_.FormDestroy(); });
}

}  // namespace tavorline
