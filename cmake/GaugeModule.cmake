# add_gauge_module(<target> FILE <file name without .gau> SOURCES ... [LINK ...])
#
# A gauge module: a shared library named <file>.gau that exports exactly the
# two records Linkage and ImportTable and nothing else.
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
endfunction()
