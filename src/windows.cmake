# The Windows shell: the engine's interfaces on the Win32 API. The kernel
# objects reach the one main thread as window messages (EventLoop).
add_library(tavorline_win_adapters STATIC
    windows/event_loop.cpp
    windows/object_waiter.cpp
    windows/win_timer.cpp
    windows/win_clock.cpp
    windows/win_serial_port.cpp
    windows/win_host_transport.cpp
    windows/schannel_session.cpp
    windows/host_certificate.cpp
    windows/host_pin_command.cpp
    windows/win_cipher_library.cpp
    windows/win_text.cpp
    windows/window_class.cpp
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
# The host key check: the certificate's key re-encoded and hashed.
target_link_libraries(tavorline_win_adapters PUBLIC crypt32 bcrypt)

# The desktop program's windows: tray, main window, settings and display.
add_library(tavorline_win_desktop STATIC
    windows/gateway_program.cpp
    windows/desktop/look.cpp
    windows/desktop/pictures.cpp
    windows/desktop/status_light.cpp
    windows/desktop/tray_icon.cpp
    windows/desktop/main_window_face.cpp
    windows/desktop/display_window.cpp
    windows/desktop/modal_scope.cpp
    windows/desktop/settings_layout.cpp
    windows/desktop/settings_dialog.cpp
    windows/desktop/error_boxes.cpp
    windows/desktop/desktop_ui.cpp
    windows/desktop/single_instance.cpp
    windows/desktop/desktop_program.cpp
)
target_link_libraries(tavorline_win_desktop PUBLIC tavorline_win_adapters gdi32 gdiplus shlwapi
    comctl32 shell32)

# The program's icon file, packed from the same pictures the Linux program
# shows, and the resources of the desktop program.
set(TAVORLINE_IMAGES ${CMAKE_CURRENT_SOURCE_DIR}/images)
set(TAVORLINE_ICON_FILE ${CMAKE_CURRENT_BINARY_DIR}/tavorline.ico)
set(TAVORLINE_MANIFEST_FILE ${CMAKE_CURRENT_BINARY_DIR}/tavorline.exe.manifest)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(OUTPUT ${TAVORLINE_ICON_FILE}
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/windows/desktop/make_icon.py
        ${TAVORLINE_ICON_FILE} ${TAVORLINE_IMAGES}/tavorline-16.png
        ${TAVORLINE_IMAGES}/tavorline-32.png ${TAVORLINE_IMAGES}/tavorline-64.png
    DEPENDS windows/desktop/make_icon.py ${TAVORLINE_IMAGES}/tavorline-16.png
        ${TAVORLINE_IMAGES}/tavorline-32.png ${TAVORLINE_IMAGES}/tavorline-64.png
    VERBATIM)
configure_file(windows/desktop/tavorline.exe.manifest.in ${TAVORLINE_MANIFEST_FILE} @ONLY)
configure_file(windows/desktop/desktop.rc.in ${CMAKE_CURRENT_BINARY_DIR}/desktop.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/desktop.rc PROPERTIES
    OBJECT_DEPENDS "${TAVORLINE_ICON_FILE};${TAVORLINE_MANIFEST_FILE}")

# tavorline.exe: a window program, so that no console window opens with the
# tray program; in headless mode it writes to the console it was started
# from, or wherever its output is redirected.
enable_language(RC)
configure_file(windows/tavorline.rc.in ${CMAKE_CURRENT_BINARY_DIR}/tavorline.rc @ONLY)
add_executable(tavorline
    windows/main.cpp
    ${CMAKE_CURRENT_BINARY_DIR}/tavorline.rc
    ${CMAKE_CURRENT_BINARY_DIR}/desktop.rc
)
set_target_properties(tavorline PROPERTIES WIN32_EXECUTABLE ON)
target_link_libraries(tavorline PRIVATE tavorline_win_desktop)

# The installer of the programs (and of tavorline-web.exe from tools/).
add_subdirectory(windows/installer)
