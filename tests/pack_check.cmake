# Runs kindora-pack for CTest, as one of:
#   -DMODE=run -DTOOL=... -DARG1=... [-DARG2=... [-DARG3=...]] -DEXPECT_CODE=N
#   [-DEXPECT_TEXT=...]
#       the tool must exit with EXPECT_CODE, print EXPECT_TEXT, and leave no
#       sanitizer report.
#   -DMODE=reproduce -DTOOL=... -DMANIFEST=... -DPACK=... -DOUT=...
#       `create OUT MANIFEST` must give exactly the bytes of PACK.
if(MODE STREQUAL "run")
  set(args "${ARG1}")
  foreach(arg ARG2 ARG3)
    if(DEFINED ${arg})
      list(APPEND args "${${arg}}")
    endif()
  endforeach()
  execute_process(COMMAND "${TOOL}" ${args} RESULT_VARIABLE code
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${out}${err}")
  if(NOT code EQUAL EXPECT_CODE)
    message(FATAL_ERROR "exit status ${code}, expected ${EXPECT_CODE}")
  endif()
  if(DEFINED EXPECT_TEXT)
    string(FIND "${out}${err}" "${EXPECT_TEXT}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "expected output containing '${EXPECT_TEXT}'")
    endif()
  endif()
  if("${out}${err}" MATCHES "Sanitizer|runtime error")
    message(FATAL_ERROR "sanitizer report")
  endif()
elseif(MODE STREQUAL "reproduce")
  execute_process(COMMAND "${TOOL}" create "${OUT}" "${MANIFEST}" RESULT_VARIABLE code)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "create failed with status ${code}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUT}" "${PACK}"
                  RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "${PACK} differs from what its manifest builds; run tools/make-pack.sh")
  endif()
else()
  message(FATAL_ERROR "unknown MODE '${MODE}'")
endif()
