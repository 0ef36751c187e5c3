# Runs one host script twice: natively on the native modules, and under the
# x86 emulator on the i686 build of the same modules. Both runs must print
# the same, end with the same status, and fail (if they fail) at the same
# line of the script. Variables: HOST, SCRIPT, NATIVE_DIR, EMULATED_DIR.
# A folder without the i686 modules skips the test, saying what to build.
if(NOT EXISTS "${EMULATED_DIR}/korvo0.gau")
  message("SKIPPED: ${EMULATED_DIR} holds no i686 build of the modules; build the mingw32 preset "
          "(cmake --preset mingw32 && cmake --build --preset mingw32) or set GAUGE_MINGW32_BIN_DIR")
  return()
endif()

execute_process(COMMAND ${HOST} run ${SCRIPT} WORKING_DIRECTORY ${NATIVE_DIR}
  OUTPUT_VARIABLE native ERROR_VARIABLE native_errors RESULT_VARIABLE native_status)
execute_process(COMMAND ${HOST} --emulate-x86 run ${SCRIPT} WORKING_DIRECTORY ${EMULATED_DIR}
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
