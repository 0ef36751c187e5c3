# Writes the layout assertions and compiles them with the i686 compiler.
# Variables: GENERATOR, COMPILER, ABI_DIR, OUTPUT.
execute_process(COMMAND ${GENERATOR} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "layout_asserts failed (${status})")
endif()
execute_process(COMMAND ${COMPILER} -std=c11 -fsyntax-only -I${ABI_DIR} ${OUTPUT}
  ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the i686 compiler lays the records out otherwise than the emulator reads them:\n${errors}")
endif()
