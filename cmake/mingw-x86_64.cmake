# The same sources for 64-bit Windows. Not shipped: it lets the Windows tests
# run under Wine on machines whose kernel cannot execute 32-bit programs
# (32-bit Wine is itself a 32-bit Linux program).
set(TAVORLINE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TAVORLINE_WINE_LOADER_OPTION --wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
