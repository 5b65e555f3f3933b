#pragma once

#include <filesystem>

#include "app/gateway.h"
#include "qt/build_version.h"
#include "qt/local_web_bridge.h"
#include "qt/posix_file_identity.h"
#include "qt/qt_clock.h"
#include "qt/qt_dynamic_library.h"
#include "qt/qt_host_transport.h"
#include "qt/qt_serial_port.h"
#include "qt/qt_timer.h"

namespace tavorline {

// The gateway wired to Qt: owns the adapters and the Gateway, and routes every
// event-loop callback (timers, the serial receive event) into its handler
// behind the default error handler, which shows the error and runs on.
class GatewayRuntime {
public:
    // `bridgePath` is where the web screen connects; empty for the default
    // socket in the program's folder.
    GatewayRuntime(std::filesystem::path programFolder, UiSink& ui,
                   std::filesystem::path bridgePath = {});
    ~GatewayRuntime();
    GatewayRuntime(const GatewayRuntime&) = delete;
    GatewayRuntime& operator=(const GatewayRuntime&) = delete;

    // FormCreate (an error ends it early; the gateway still runs), then the
    // web screen's socket.
    void start();
    // Lets pending events run, closes the web screen's socket, then FormDestroy: port closed, host
    // disconnected, cipher library unloaded.
    void stop();

    Gateway& gateway() { return gateway_; }
    QtSerialPort& serialPort() { return serial_; }

private:
    template <typename Handler>
    void guarded(Handler&& handler);

    UiSink& ui_;
    BuildVersionSource versions_;
    QtSerialPort serial_;
    QtHostTransport hostTransport_;
    QtDynamicLibrary cipherLibrary_;
    QtTimer TM_;
    QtTimer DGetTimer_;
    QtTimer TMInit_;
    QtClock clock_;
    PosixFileIdentity fileIdentity_;
    LocalWebBridge web_;
    std::filesystem::path bridgePath_;
    Gateway gateway_;
};

}  // namespace tavorline
