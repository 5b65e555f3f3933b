find_package(Qt6 REQUIRED COMPONENTS Core Network SerialPort Widgets)

# The adapters from the engine's interfaces to Qt and the platform.
add_library(tavorline_qt_adapters STATIC
    terminal/qt/qt_serial_port.h
    terminal/qt/qt_serial_port.cpp
    host/qt/qt_host_transport.h
    host/qt/qt_host_transport.cpp
    app/qt/cp949.cpp
    app/qt/qt_timer.cpp
    app/qt/qt_clock.cpp
    app/qt/qt_dynamic_library.cpp
    app/qt/posix_file_identity.cpp
    app/qt/headless_ui.cpp
    app/qt/local_web_bridge.h
    app/qt/local_web_bridge.cpp
    app/qt/termination_signals.h
    app/qt/termination_signals.cpp
    app/qt/yield_to_reader.h
)
set_target_properties(tavorline_qt_adapters PROPERTIES AUTOMOC ON)
target_include_directories(tavorline_qt_adapters PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tavorline_qt_adapters PUBLIC Qt6::Core Qt6::Network Qt6::SerialPort)
# The web bridge speaks the engine's frame format (app/web_bridge_frame.h).
target_link_libraries(tavorline_qt_adapters PUBLIC tavorline_engine)

# The Qt shell: the adapters wired to the engine, and the program.
add_library(tavorline_shell STATIC
    app/qt/build_version.cpp
    app/qt/command_line.cpp
    app/qt/gateway_runtime.cpp
)
target_include_directories(tavorline_shell PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tavorline_shell PUBLIC
    tavorline_qt_adapters tavorline_engine Qt6::Core Qt6::Network Qt6::SerialPort)

# The desktop program: tray icon, main window, settings dialog and display
# window, as an implementation of the gateway's UI sink.
add_library(tavorline_desktop STATIC
    app/qt/desktop/look.cpp
    app/qt/desktop/value_combo_box.cpp
    app/qt/desktop/status_light.cpp
    app/qt/desktop/display_window.cpp
    app/qt/desktop/settings_dialog.cpp
    app/qt/desktop/main_window.cpp
    app/qt/desktop/desktop_ui.cpp
    app/qt/desktop/desktop_program.cpp
    app/qt/desktop/desktop.qrc
)
set_target_properties(tavorline_desktop PROPERTIES AUTOMOC ON AUTORCC ON)
target_link_libraries(tavorline_desktop PUBLIC tavorline_shell Qt6::Widgets)

add_executable(tavorline app/qt/main.cpp)
target_link_libraries(tavorline PRIVATE tavorline_shell tavorline_desktop)
add_dependencies(tavorline VornLib)
install(TARGETS tavorline RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
