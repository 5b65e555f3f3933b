find_package(Qt6 REQUIRED COMPONENTS Core Network SerialPort)
# The Qt shell: adapters from the engine's interfaces to the platform.
add_library(tavorline_shell STATIC
    terminal/qt/qt_serial_port.cpp
    host/qt/qt_host_transport.cpp
)
target_include_directories(tavorline_shell PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tavorline_shell PUBLIC tavorline_engine Qt6::Core Qt6::Network Qt6::SerialPort)
