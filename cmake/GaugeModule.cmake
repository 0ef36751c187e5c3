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
    COMMAND ${tool} ${module} ${dir}
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
