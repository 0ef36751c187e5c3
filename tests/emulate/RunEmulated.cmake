# Runs one host script twice: natively on the native modules, and under the
# x86 emulator on the i686 build of the same modules. Both runs must print
# the same, end with the same status, and fail (if they fail) at the same
# line of the script. Variables: HOST, SCRIPT, NATIVE_DIR, EMULATED_DIR,
# STAGE_DIR.
#
# Each run has a working folder of its own under STAGE_DIR, holding links to
# everything of the native bin folder (panels and other files the scripts
# name) with the module files of its build: so the two runs see the same
# files, and what a script writes lands apart from the other run's and from
# the native script tests'.
# A folder without the i686 modules skips the test, saying what to build.
if(NOT EXISTS "${EMULATED_DIR}/korvo0.gau")
  message("SKIPPED: ${EMULATED_DIR} holds no i686 build of the modules; build the mingw32 preset "
          "(cmake --preset mingw32 && cmake --build --preset mingw32) or set GAUGE_MINGW32_BIN_DIR")
  return()
endif()

function(stage folder modules_dir)
  file(REMOVE_RECURSE ${folder})
  file(MAKE_DIRECTORY ${folder})
  file(GLOB shared LIST_DIRECTORIES true ${NATIVE_DIR}/*)
  foreach(file ${shared})
    get_filename_component(name ${file} NAME)
    if(NOT name MATCHES "\\.(gau|so|dll)$")
      file(CREATE_LINK ${file} ${folder}/${name} SYMBOLIC)
    endif()
  endforeach()
  file(GLOB modules ${modules_dir}/*.gau ${modules_dir}/*.so ${modules_dir}/*.dll)
  foreach(file ${modules})
    get_filename_component(name ${file} NAME)
    file(CREATE_LINK ${file} ${folder}/${name} SYMBOLIC)
  endforeach()
endfunction()
stage(${STAGE_DIR}/native ${NATIVE_DIR})
stage(${STAGE_DIR}/emulated ${EMULATED_DIR})

execute_process(COMMAND ${HOST} run ${SCRIPT} WORKING_DIRECTORY ${STAGE_DIR}/native
  OUTPUT_VARIABLE native ERROR_VARIABLE native_errors RESULT_VARIABLE native_status)
execute_process(COMMAND ${HOST} --emulate-x86 run ${SCRIPT} WORKING_DIRECTORY ${STAGE_DIR}/emulated
  OUTPUT_VARIABLE emulated ERROR_VARIABLE emulated_errors RESULT_VARIABLE emulated_status)

if(NOT native STREQUAL emulated)
  message(FATAL_ERROR "the i686 modules under emulation print otherwise than the native ones\n"
    "--- native\n${native}--- emulated\n${emulated}--- emulated errors\n${emulated_errors}")
endif()
if(NOT native_status STREQUAL emulated_status)
  message(FATAL_ERROR "native run ended with ${native_status}, emulated run with ${emulated_status}\n"
    "--- native errors\n${native_errors}--- emulated errors\n${emulated_errors}")
endif()
# A failing script fails at the same line; the loaders word their reasons
# differently, so only the place is compared.
string(REGEX MATCH "^[^\n]*:[0-9]+:" native_place "${native_errors}")
string(REGEX MATCH "^[^\n]*:[0-9]+:" emulated_place "${emulated_errors}")
if(NOT native_place STREQUAL emulated_place)
  message(FATAL_ERROR "the runs failed at different places\n--- native\n${native_errors}--- emulated\n${emulated_errors}")
endif()
