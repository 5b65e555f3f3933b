# The Windows shell: the engine's interfaces on the Win32 API, one thread
# waiting in EventLoop for window messages and kernel objects alike.
add_library(tavorline_win_adapters STATIC
    windows/event_loop.cpp
    windows/win_timer.cpp
    windows/win_clock.cpp
    windows/win_serial_port.cpp
    windows/win_host_transport.cpp
    windows/schannel_session.cpp
    windows/win_cipher_library.cpp
    windows/win_text.cpp
    windows/main_window.cpp
    windows/window_web_bridge.cpp
    windows/console_break.cpp
    windows/win_version_source.cpp
)
target_include_directories(tavorline_win_adapters PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_definitions(tavorline_win_adapters PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN
    NOMINMAX _WIN32_WINNT=0x0601)
target_link_libraries(tavorline_win_adapters PUBLIC tavorline_engine version)
# Winsock and Schannel for the host connection.
target_link_libraries(tavorline_win_adapters PUBLIC ws2_32 secur32)

# The desktop program's windows: tray, main window, settings and display.
add_library(tavorline_win_desktop STATIC
    windows/desktop/look.cpp
    windows/desktop/modal_scope.cpp
    windows/desktop/settings_layout.cpp
    windows/desktop/settings_dialog.cpp
)
target_link_libraries(tavorline_win_desktop PUBLIC tavorline_win_adapters gdi32 comctl32)

# tavorline.exe: a console program for now, so that the headless gateway's
# status lines reach the console it was started from.
enable_language(RC)
configure_file(windows/tavorline.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tavorline.rc @ONLY)
add_executable(tavorline
    windows/main.cpp
    windows/gateway_program.cpp
    ${CMAKE_CURRENT_BINARY_DIR}/tavorline.rc
)
target_link_libraries(tavorline PRIVATE tavorline_win_adapters shell32)
