# 64-bit Windows (PE32+, x86-64): the test twin of the 32-bit build. The
# same sources and link set-up as the 32-bit modules, plus a Windows build of
# gaugehost, so that the modules can be run under wine64 on a machine that
# cannot execute 32-bit code.
#   cmake --preset mingw64
set(GAUGE_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
