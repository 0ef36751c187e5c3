# Runs one host script and compares what it printed with the expectation
# beside it. Variables: HOST (the host command, possibly "launcher;program"),
# SCRIPT, WORKDIR.
string(REGEX REPLACE "\\.gh$" "" base "${SCRIPT}")
execute_process(
  COMMAND ${HOST} run ${SCRIPT}
  WORKING_DIRECTORY ${WORKDIR}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
string(REPLACE "\r\n" "\n" output "${output}")
string(REPLACE "\r\n" "\n" errors "${errors}")

if(EXISTS "${base}.expected-error")
  file(READ "${base}.expected-error" wanted_error)
  string(STRIP "${wanted_error}" wanted_error)
  if(status EQUAL 0)
    message(FATAL_ERROR "the script should have failed with: ${wanted_error}")
  endif()
  string(FIND "${errors}" "${wanted_error}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "expected the error\n  ${wanted_error}\nbut the host said\n  ${errors}")
  endif()
  if(EXISTS "${base}.expected")
    file(READ "${base}.expected" wanted)
    if(NOT output STREQUAL wanted)
      message(FATAL_ERROR "output before the error differs:\n--- expected\n${wanted}--- got\n${output}")
    endif()
  endif()
  return()
endif()

if(NOT status EQUAL 0)
  message(FATAL_ERROR "gaugehost failed (${status}):\n${errors}\noutput so far:\n${output}")
endif()
file(READ "${base}.expected" wanted)
if(NOT output STREQUAL wanted)
  message(FATAL_ERROR "output differs from ${base}.expected\n--- expected\n${wanted}--- got\n${output}")
endif()
