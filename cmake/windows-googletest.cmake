# Debian packages GoogleTest for Linux only; for the Windows build it is
# compiled from the sources of Debian's googletest package with our compiler.
set(TAVORLINE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest sources for the Windows build (Debian package googletest)")
if(NOT EXISTS ${TAVORLINE_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${TAVORLINE_GOOGLETEST_SOURCE}: "
                        "apt-get install googletest")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# Their code with their own warnings, not our -Wpedantic: the subdirectory
# inherits this folder's options as they are when it is added.
get_directory_property(tavorline_test_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${TAVORLINE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${tavorline_test_options}")
# Its targets carry the names find_package(GTest) gives on Linux: GTest::gtest_main...
