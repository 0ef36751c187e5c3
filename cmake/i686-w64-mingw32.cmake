# 32-bit Windows (PE32, i386): the gauge modules as a panel loads them.
#   cmake --preset mingw32
set(GAUGE_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)

# Doubles in SSE2 registers instead of the x87 stack: x87 keeps intermediates
# at 80 bits and rounds them when it spills, so the same source would give
# results that differ in the last bit from the 64-bit builds, which always
# compute in SSE2. With these flags every float64 operation rounds to 64 bits
# exactly as on x86-64, so the 32-bit modules compute the same values bit for
# bit as the 64-bit twins that the tests run.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
