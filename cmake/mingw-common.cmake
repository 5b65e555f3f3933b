# What both Windows toolchains share; TAVORLINE_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)

# The posix flavour: std::thread and std::mutex need winpthread.
set(CMAKE_C_COMPILER ${TAVORLINE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVORLINE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVORLINE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVORLINE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The shop's PC has no mingw runtime: link libgcc, libstdc++ and winpthread
# into every executable and DLL so each runs with nothing beside it.
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
endforeach()

# Tests run under Wine, in a prefix in the build tree unless
# TAVORLINE_WINEPREFIX names one, so a build never touches ~/.wine.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh --prefix ${CMAKE_BINARY_DIR}/wineprefix
    ${TAVORLINE_WINE_LOADER_OPTION})
# Tests are listed when ctest runs, not after each link: building needs no
# Wine, and no Wine prefix is made until the tests run.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
