# The Linux program: the engine's interfaces on Qt, in src/qt.
find_package(Qt6 REQUIRED COMPONENTS Core Network SerialPort Widgets)

# The adapters from the engine's interfaces to Qt and the platform.
add_library(tavorline_qt_adapters STATIC
    qt/qt_serial_port.h
    qt/qt_serial_port.cpp
    qt/qt_host_transport.h
    qt/qt_host_transport.cpp
    qt/cp949.cpp
    qt/qt_timer.cpp
    qt/qt_clock.cpp
    qt/qt_dynamic_library.cpp
    qt/posix_file_identity.cpp
    qt/local_web_bridge.h
    qt/local_web_bridge.cpp
    qt/termination_signals.h
    qt/termination_signals.cpp
    qt/yield_to_reader.h
)
set_target_properties(tavorline_qt_adapters PROPERTIES AUTOMOC ON)
target_include_directories(tavorline_qt_adapters PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tavorline_qt_adapters PUBLIC Qt6::Core Qt6::Network Qt6::SerialPort)
# The web bridge speaks the engine's frame format (app/web_bridge_frame.h).
target_link_libraries(tavorline_qt_adapters PUBLIC tavorline_engine)

# The Qt shell: the adapters wired to the engine, and the program.
add_library(tavorline_shell STATIC
    qt/build_version.cpp
    qt/command_line.cpp
    qt/host_pin_command.cpp
    qt/gateway_runtime.cpp
)
target_include_directories(tavorline_shell PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tavorline_shell PUBLIC
    tavorline_qt_adapters tavorline_engine Qt6::Core Qt6::Network Qt6::SerialPort)

# The desktop program: tray icon, main window, settings dialog and display
# window, as an implementation of the gateway's UI sink.
add_library(tavorline_desktop STATIC
    qt/desktop/look.cpp
    qt/desktop/value_combo_box.cpp
    qt/desktop/status_light.cpp
    qt/desktop/display_window.cpp
    qt/desktop/settings_dialog.cpp
    qt/desktop/main_window.cpp
    qt/desktop/desktop_ui.cpp
    qt/desktop/desktop_program.cpp
    qt/desktop/desktop.qrc
)
set_target_properties(tavorline_desktop PROPERTIES AUTOMOC ON AUTORCC ON)
target_link_libraries(tavorline_desktop PUBLIC tavorline_shell Qt6::Widgets)

add_executable(tavorline qt/main.cpp)
target_link_libraries(tavorline PRIVATE tavorline_shell tavorline_desktop)
add_dependencies(tavorline VornLib)
install(TARGETS tavorline RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
