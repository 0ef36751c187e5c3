# Testing in a Windows cross build (the mingw64 preset): GoogleTest built
# for the target from the source Debian ships (libgtest-dev), and every
# program a test runs started through wine64 (CMAKE_CROSSCOMPILING_EMULATOR),
# so that CTest and gtest_discover_tests drive Windows programs as they drive
# native ones.

set(GAUGE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source to build for the target")
if(NOT EXISTS ${GAUGE_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest source in ${GAUGE_GOOGLETEST_SOURCE} (Debian: libgtest-dev)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${GAUGE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Debian's wine64 package keeps its loader out of PATH.
find_program(GAUGE_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine /usr/libexec/wine)
find_program(GAUGE_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine /usr/libexec/wine)
if(NOT GAUGE_WINE64 OR NOT GAUGE_WINESERVER)
  message(FATAL_ERROR "wine64 is needed to run the Windows tests (Debian: wine64); "
    "configure with -DGAUGE_BUILD_TESTS=OFF to build without them")
endif()

# One wine prefix per build folder, made on first use.
set(GAUGE_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine/prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine/run
  @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine/run)
