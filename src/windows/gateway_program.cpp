#include "windows/gateway_program.h"

#include "app/web_bridge_frame.h"
#include "support/text_format.h"

namespace tavorline::win {
namespace {

constexpr std::chrono::milliseconds kWatchdogInterval{1000};
constexpr std::chrono::milliseconds kRequestQuietPeriod{100};
constexpr std::chrono::milliseconds kStatusRestoreDelay{1000};

}  // namespace

// No FileIdentityProbe: the daily log opens its file for each line, which
// leaves it free for the staff to rename or delete while the gateway runs.
GatewayProgram::GatewayProgram(EventLoop& loop, std::filesystem::path programFolder, UiSink& ui)
    : loop_(loop),
      ui_(ui),
      serial_(loop, programFolder),
      hostTransport_(loop),
      cipherLibrary_(programFolder),
      TM_(loop, kWatchdogInterval),
      DGetTimer_(loop, kRequestQuietPeriod),
      TMInit_(loop, kStatusRestoreDelay),
      gateway_(GatewayPorts{serial_, hostTransport_, cipherLibrary_, TM_, DGetTimer_, TMInit_, ui_,
                            web_, clock_, versions_, programFolder, nullptr}) {
    TM_.setHandler([this] { guarded([this] { gateway_.TMTimer(); }); });
    DGetTimer_.setHandler([this] { guarded([this] { gateway_.DGetTimerTimer(); }); });
    TMInit_.setHandler([this] { guarded([this] { gateway_.TMInitTimer(); }); });
    serial_.setReceiveHandler([this](std::uint16_t count) {
        guarded([this, count] { gateway_.AproTriggerAvail(count); });
    });
    serial_.setLineLostHandler([this](const std::string& reason) {
        guarded([this, &reason] { gateway_.AproLineLost(reason); });
    });
    serial_.setLineBackHandler([this] { guarded([this] { gateway_.AproLineBack(); }); });
    window_.onWebHandle = [this](std::uint64_t handle) {
        guarded([this, handle] { gateway_.WMWebHandle(handle); });
    };
    window_.onCopyData = [this](BytesView block) {
        guarded([this, block] { gateway_.WMCopyData(block); });
    };
}

GatewayProgram::~GatewayProgram() = default;

void GatewayProgram::start() {
    guarded([this] { gateway_.FormCreate(); });
    guarded([this] {
        web_.setReplyTimeout(webReplyTimeout(
            gateway_.config().Ini_Read(kSection, "WebTimeout", gateway_.config().iniPath())));
    });
}

void GatewayProgram::note(BytesView tag, BytesView text) {
    Bytes paddedTag(tag.substr(0, 4));
    paddedTag.resize(4, ' ');
    gateway_.log().Write_Log("[" + paddedTag + " " + TimeText(clock_.now()) + "][" + Bytes(text) +
                             "]");
}

// One bounded pass: a line that keeps reporting cannot hold up the end.
void GatewayProgram::stop() {
    loop_.runOnce(0);
    guarded([this] { gateway_.FormDestroy(); });
}

}  // namespace tavorline::win
