# A Windows binary of ours may import only system DLLs and libvantrel.dll:
# the compiler runtime (libgcc_s, libstdc++, libwinpthread) is linked in, so
# that bin/ works when copied to a machine without it.
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${FILE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${out}")
if(NOT imports)
  message(FATAL_ERROR "no imports found in ${FILE}:\n${out}")
endif()
foreach(entry IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+|libvantrel)\\.dll$")
    message(FATAL_ERROR "${FILE} needs ${dll}")
  endif()
endforeach()
message(STATUS "${FILE}: ${imports}")
