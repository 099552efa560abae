# Checks the built OrvaPubIf.dll: exactly the 16 plain export names, and no
# MinGW runtime DLL among its imports (it must run beside the detector alone).
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

set(expected
  OrvaGetBeep OrvaGetCalibrationData OrvaGetCuelineResponse OrvaGetDiagnosticsData
  OrvaGetDragDelay OrvaGetMouseMode OrvaGetRightClickOnHold OrvaGetScreenInfo
  OrvaGetTouchBoundary OrvaSendCuelineCommand OrvaSetBeep OrvaSetCalibrationData
  OrvaSetDragDelay OrvaSetMouseMode OrvaSetRightClickOnHold OrvaSetTouchBoundary)

# The name table runs from its heading to the next blank line.
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(start EQUAL -1)
  message(FATAL_ERROR "no export name table in ${DLL}")
endif()
string(SUBSTRING "${dump}" ${start} -1 table)
string(FIND "${table}" "\n\n" end)
string(SUBSTRING "${table}" 0 ${end} table)
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
set(exported)
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
  string(STRIP "${name}" name)
  list(APPEND exported "${name}")
endforeach()
list(SORT exported)
if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "exports differ:\n  got      ${exported}\n  expected ${expected}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(import IN LISTS imports)
  string(TOLOWER "${import}" lower)
  if(lower MATCHES "libgcc|libstdc|libwinpthread|msvcp|mingw")
    message(FATAL_ERROR "imports a runtime DLL: ${import}")
  endif()
endforeach()
message(STATUS "exports: ${exported}; imports: ${imports}")
