#pragma once

#include <filesystem>

#include "app/error_guard.h"
#include "app/gateway.h"
#include "windows/event_loop.h"
#include "windows/main_window.h"
#include "windows/win_cipher_library.h"
#include "windows/win_clock.h"
#include "windows/win_host_transport.h"
#include "windows/win_serial_port.h"
#include "windows/win_timer.h"
#include "windows/win_version_source.h"
#include "windows/window_web_bridge.h"

namespace tavorline::win {

// The gateway wired to Win32: owns the main window, the adapters and the
// Gateway, and routes every event (window messages, timers, the serial
// receive event) into its handler behind the default error handler, which
// shows the error and runs on.
class GatewayProgram {
public:
    GatewayProgram(EventLoop& loop, std::filesystem::path programFolder, UiSink& ui);
    ~GatewayProgram();
    GatewayProgram(const GatewayProgram&) = delete;
    GatewayProgram& operator=(const GatewayProgram&) = delete;

    // FormCreate (an error ends it early; the gateway still runs).
    void start();
    // A line of the shell's own in the daily log: "[TAG  hh:nn:ss][text]".
    void note(BytesView tag, BytesView text);
    // Lets what is already queued run, then FormDestroy: port closed, host
    // disconnected, cipher library unloaded.
    void stop();

    MainWindow& mainWindow() { return window_; }
    const MainWindow& mainWindow() const { return window_; }
    Gateway& gateway() { return gateway_; }
    WinSerialPort& serialPort() { return serial_; }

    // Runs a handler behind the default error handler.
    template <typename Handler>
    void guarded(Handler&& handler) {
        runGuarded(ui_, std::forward<Handler>(handler));
    }

private:
    EventLoop& loop_;
    UiSink& ui_;
    MainWindow window_;
    WinVersionSource versions_;
    WinSerialPort serial_;
    WinHostTransport hostTransport_;
    WinCipherLibrary cipherLibrary_;
    WinTimer TM_;
    WinTimer DGetTimer_;
    WinTimer TMInit_;
    WinClock clock_;
    WindowWebBridge web_;
    Gateway gateway_;
};

}  // namespace tavorline::win
