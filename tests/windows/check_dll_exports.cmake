# The export table of zarlib32.dll, read with objdump -p: exactly the names of
# the .def file, undecorated (no "_name@n" of __stdcall); the DLL needs no
# DLL but the system's own, so it can be handed to a host as it is; and a
# host linked with the import library imports every export by its plain name.
#
#   DLL      the built zarlib32.dll
#   DEF      src/exports/zarlib32.def
#   OBJDUMP  the cross objdump
#   HOST     optional: a program linked with the import library that takes
#            the address of every export (abi_check.exe)

# The names of one DLL's entries in the import tables of `file`, or the export
# table's names when `dll` is empty.
function(pe_names file dll out)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p failed on ${file}")
  endif()
  string(REPLACE ";" "," dump "${dump}")
  string(REPLACE "\n" ";" lines "${dump}")
  set(names)
  set(inside FALSE)
  foreach(line IN LISTS lines)
    if(dll STREQUAL "")
      if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
        set(inside TRUE)
      elseif(inside AND line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
        list(APPEND names "${CMAKE_MATCH_1}")
      elseif(inside)
        set(inside FALSE)
      endif()
    else()
      if(line MATCHES "^\tDLL Name: (.+)$")
        string(TOLOWER "${CMAKE_MATCH_1}" name)
        set(inside FALSE)
        if(name STREQUAL dll)
          set(inside TRUE)
        endif()
      elseif(inside AND line MATCHES "^\t[0-9a-f]+\t +[0-9]+  (.+)$")
        list(APPEND names "${CMAKE_MATCH_1}")
      endif()
    endif()
  endforeach()
  list(SORT names)
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

file(STRINGS ${DEF} def_lines REGEX "^[ \t]+[A-Za-z0-9_]+")
set(defined)
foreach(line ${def_lines})
  string(STRIP "${line}" name)
  list(APPEND defined ${name})
endforeach()
list(SORT defined)
list(LENGTH defined count)
if(count EQUAL 0)
  message(FATAL_ERROR "no names in ${DEF}")
endif()

pe_names(${DLL} "" exported)
if(NOT exported STREQUAL defined)
  message(FATAL_ERROR "${DLL} exports:\n${exported}\n${DEF} lists:\n${defined}")
endif()

# Only the system's DLLs: no runtime of the compiler has to travel along.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump)
string(REGEX MATCHALL "DLL Name: [^\n]+" needed "${dump}")
foreach(entry ${needed})
  string(REPLACE "DLL Name: " "" name "${entry}")
  string(TOLOWER "${name}" name)
  if(NOT name MATCHES "^(kernel32|user32|version|msvcrt|advapi32|ntdll)\\.dll$")
    message(FATAL_ERROR "${DLL} needs ${name}, which a Windows host does not have")
  endif()
endforeach()

if(HOST)
  pe_names(${HOST} "zarlib32.dll" imported)
  if(NOT imported STREQUAL defined)
    message(FATAL_ERROR "${HOST} imports from zarlib32.dll:\n${imported}\n${DEF} lists:\n${defined}")
  endif()
endif()
message(STATUS "${count} exports, undecorated, as ${DEF} lists them")
