# Runs kindora-sim with ARGS and compares its report with the file EXPECTED
# (when given); fails on any difference or a non-zero exit status.
separate_arguments(args UNIX_COMMAND "${ARGS}")
execute_process(COMMAND ${SIM} ${args} RESULT_VARIABLE status OUTPUT_VARIABLE report
                ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kindora-sim ${ARGS} exited with ${status}: ${errors}")
endif()
if(EXPECTED)
  file(READ ${EXPECTED} expected)
  if(NOT report STREQUAL expected)
    message(FATAL_ERROR "kindora-sim ${ARGS} reported:\n${report}\nexpected:\n${expected}")
  endif()
endif()
