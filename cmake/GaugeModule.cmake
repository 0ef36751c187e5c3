# add_gauge_module(<target> FILE <file name without .gau> SOURCES ... [LINK ...])
#
# A gauge module: a shared library named <file>.gau that exports exactly the
# two records Linkage and ImportTable and nothing else, and carries its own
# bitmaps by numeric id (see gauge_module_bitmaps below).
function(add_gauge_module target)
  cmake_parse_arguments(ARG "" "FILE" "SOURCES;LINK" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LINK})
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${ARG_FILE}
    SUFFIX ".gau"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LIBRARY_OUTPUT_DIRECTORY ${GAUGE_OUTPUT_DIR}
    RUNTIME_OUTPUT_DIRECTORY ${GAUGE_OUTPUT_DIR})
  if(WIN32)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/module_exports.def)
    gauge_module_without_runtime(${target})
  else()
    # An anonymous version script: the two records and no version node.
    target_link_options(${target} PRIVATE
      -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/module_exports.map
      -Wl,--no-undefined)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/module_exports.map)
    # A bare library name loaded by the module is looked for beside it too.
    set_target_properties(${target} PROPERTIES BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")
  endif()
  gauge_module_bitmaps(${target} ${ARG_FILE})
endfunction()

# gauge_module_without_runtime(<target>)
#
# A module file on Windows links no C or C++ runtime, neither as a DLL nor
# statically: its entry point is GaugeModuleStartup (framework/
# entry_windows.cpp, which also supplies the memory functions the compiler
# may call), and it imports only the platform layer's calls: LoadLibraryA,
# GetModuleHandleA, GetProcAddress and FreeLibrary from KERNEL32.dll, and
# wvsprintfA from USER32.dll (framework/platform_windows.cpp). libgcc stays
# for the arithmetic helpers a 32-bit target may call (64-bit division,
# stack probes); it brings no DLL. Unused functions are dropped (the
# toolchain files put every function in a section of its own). A runtime
# function that gauge code starts to use fails the link instead of slipping
# in an import.
function(gauge_module_without_runtime target)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(entry _GaugeModuleStartup@12) # stdcall decoration of the 32-bit entry
  else()
    set(entry GaugeModuleStartup)
  endif()
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/framework/entry_windows.cpp)
  gauge_module_code(${target})
  target_link_options(${target} PRIVATE
    -nostdlib -Wl,--entry,${entry} -Wl,--gc-sections -Wl,--no-undefined)
  target_link_libraries(${target} PRIVATE kernel32 user32 gcc)
endfunction()

# gauge_module_code(<target> ...)
#
# Compiles the targets' own sources as code that goes into a module file.
# On Windows that code has no exception or unwind tables: nothing in a
# module throws, there is no runtime to catch, and the tables would refer to
# every function and so keep --gc-sections from dropping the unused ones
# (with their imports). Elsewhere it changes nothing.
function(gauge_module_code)
  if(WIN32)
    foreach(target ${ARGN})
      target_compile_options(${target} PRIVATE
        -fno-exceptions -fno-asynchronous-unwind-tables -fno-unwind-tables)
    endforeach()
  endif()
endfunction()

# gauge_module_bitmaps(<target> <file>)
#
# The artwork generator (tools/artwork) draws the module's bitmaps from the
# recipe in the module's folder. On Windows they become BITMAP resources by
# numeric id through a generated .rc; on ELF systems the bitmap blob goes
# into the non-allocated section .gauge_bitmaps of the .gau after linking,
# adding no symbol and nothing the loader maps.
function(gauge_module_bitmaps target file)
  if(GAUGE_ARTWORK_TOOL)
    set(tool ${GAUGE_ARTWORK_TOOL})
    set(tool_target)
  elseif(TARGET gauge_artwork)
    set(tool $<TARGET_FILE:gauge_artwork>)
    set(tool_target gauge_artwork)
  else()
    message(WARNING "${file}.gau is built without bitmaps: no artwork generator")
    return()
  endif()
  string(TOLOWER ${file} module)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/bitmaps)
  set(blob ${dir}/${module}.bitmaps)
  set(rc ${dir}/${module}.rc)
  add_custom_command(OUTPUT ${blob} ${rc}
    # fontconfig keeps its caches until exit; in sanitizer builds that is
    # reported as a leak of the generator, a build tool, and would stop the build.
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 ${tool} ${module} ${dir}
    DEPENDS ${tool_target}
    COMMENT "Drawing the bitmaps of ${file}"
    VERBATIM)
  add_custom_target(${target}_bitmaps DEPENDS ${blob} ${rc})
  add_dependencies(${target} ${target}_bitmaps)
  if(WIN32)
    target_sources(${target} PRIVATE ${rc})
  else()
    # Relink (and so re-add the section) whenever the pictures change.
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${blob})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY}
        --add-section .gauge_bitmaps=${blob}
        --set-section-flags .gauge_bitmaps=noload,readonly
        $<TARGET_FILE:${target}>
      VERBATIM)
  endif()
endfunction()
