# cmake -DPROGRAM=... -DARGS=a;b -DOUTPUT=file -P WriteProgramOutput.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 ${PROGRAM} ${ARGS}
                OUTPUT_FILE ${OUTPUT}.part RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "${PROGRAM} ${ARGS} failed (${rc}): ${OUTPUT} not written")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
