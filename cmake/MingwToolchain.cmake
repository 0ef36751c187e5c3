# Shared part of the two MinGW-w64 toolchain files; they set
# GAUGE_MINGW_TRIPLET and include this file.
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX thread model: its libstdc++ has std::mutex and std::thread, which
# the tests' GoogleTest needs. (The module files link no runtime at all, so
# the choice does not reach them; programs take libwinpthread in statically.)
set(CMAKE_C_COMPILER ${GAUGE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GAUGE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${GAUGE_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${GAUGE_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${GAUGE_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${GAUGE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every function and datum in a section of its own, so that a gauge module
# linked with --gc-sections keeps (and imports) only what it uses, even from
# the static framework libraries.
string(APPEND CMAKE_C_FLAGS_INIT " -ffunction-sections -fdata-sections")
string(APPEND CMAKE_CXX_FLAGS_INIT " -ffunction-sections -fdata-sections")

# Programs and libraries carry the compiler's runtime inside them: a panel's
# user has no libgcc_s, libstdc++ or libwinpthread DLL. (The gauge modules go
# further and link no C runtime at all; see cmake/GaugeModule.cmake.)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
