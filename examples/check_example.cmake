# Makes OUT (compiling SOURCE with COMP, against SCHEMA when given, or
# running BUILDER), lists it with
# DUMP, and with READER when given, and compares each listing with EXPECTED.  EMULATOR holds the cross
# emulator's words separated by "|" (empty on native builds).
string(REPLACE "|" ";" emulator "${EMULATOR}")
if(DEFINED SCHEMA)
  set(schema_options --schema ${SCHEMA})
endif()
if(DEFINED SOURCE)
  execute_process(COMMAND ${emulator} ${COMP} ${schema_options} -o ${OUT} ${SOURCE} RESULT_VARIABLE rc
                  ERROR_VARIABLE err)
else()
  execute_process(COMMAND ${emulator} ${BUILDER} ${OUT} RESULT_VARIABLE rc ERROR_VARIABLE err
                  OUTPUT_QUIET)
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "making ${OUT} failed (${rc}): ${err}")
endif()
execute_process(COMMAND ${emulator} ${DUMP} ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE listing
                ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "listing ${OUT} failed (${rc}): ${err}")
endif()
file(READ ${EXPECTED} expected)
if(NOT listing STREQUAL expected)
  message(FATAL_ERROR "listing of ${OUT} differs from ${EXPECTED}:\n${listing}")
endif()
if(DEFINED READER)
  execute_process(COMMAND ${emulator} ${READER} ${OUT} RESULT_VARIABLE rc OUTPUT_VARIABLE listing
                  ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT listing STREQUAL expected)
    message(FATAL_ERROR "the reader example lists ${OUT} otherwise (${rc}): ${err}\n${listing}")
  endif()
endif()
