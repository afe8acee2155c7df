# Makes the import library of the 32-bit zarlib32.dll, whose exports are
# __stdcall functions under plain names. Callers compiled with the public
# header ask for the decorated symbols ("_Ax4ZipOpen@12"); the import library
# binds each to the plain name the DLL exports (dlltool --kill-at), read from
# the export objects' symbols for every name of the .def file.
#
#   OBJECTS          the export layer's object files, separated by '|'
#   DEF              src/exports/zarlib32.def
#   NM, DLLTOOL      the cross tools
#   DLL_NAME         zarlib32.dll
#   DECORATED_DEF    the .def file with decorated names to write
#   IMPORT_LIBRARY   the import library to write
string(REPLACE "|" ";" objects "${OBJECTS}")
execute_process(COMMAND ${NM} -g --defined-only ${objects} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on the export objects")
endif()

file(STRINGS ${DEF} def_lines REGEX "^[ \t]+[A-Za-z0-9_]+")
set(text "LIBRARY ${DLL_NAME}\nEXPORTS\n")
foreach(line ${def_lines})
  string(STRIP "${line}" name)
  if(NOT symbols MATCHES " T _${name}@([0-9]+)\n")
    message(FATAL_ERROR "${name} of the .def file has no __stdcall symbol among the exports")
  endif()
  string(APPEND text "    ${name}@${CMAKE_MATCH_1}\n")
endforeach()
file(WRITE ${DECORATED_DEF} "${text}")

file(REMOVE ${IMPORT_LIBRARY})
execute_process(COMMAND ${DLLTOOL} --kill-at -d ${DECORATED_DEF} -D ${DLL_NAME} -l ${IMPORT_LIBRARY}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${DLLTOOL} could not make ${IMPORT_LIBRARY}")
endif()
