# Checks spuZarn.dll without running it: it exports exactly the plugin
# interface by plain, undecorated names, and imports only from Windows system
# DLLs (the compiler runtime is linked in, so users install one file), among
# them the common controls' InitCommonControlsEx.
# Usage: cmake -DDLL=... -DOBJDUMP=... -P CheckDll.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "objdump could not read ${DLL}")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ExportList.cmake)
spuzarn_export_names(expected)

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)+)" table "${dump}")
string(REGEX MATCHALL "\\] [^\n]+" names "${CMAKE_MATCH_1}")
list(TRANSFORM names REPLACE "\\] " "")
list(SORT names)
list(SORT expected)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "exports differ from the plugin interface:\n  got ${names}\n  want ${expected}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
list(TRANSFORM imports REPLACE "DLL Name: " "")
list(TRANSFORM imports TOUPPER)
foreach(import IN LISTS imports)
    if(NOT import MATCHES "^(KERNEL32|USER32|ADVAPI32|COMCTL32|WINMM|DSOUND|MSVCRT)\\.DLL$")
        message(FATAL_ERROR "spuZarn.dll imports ${import}, which is not a Windows system DLL")
    endif()
endforeach()
# The dialogs register the up-down control class themselves: hosts need not
# have, and Wine would register it on demand, so only this check sees it gone.
string(TOUPPER "${dump}" upper)
if(NOT upper MATCHES "DLL NAME: COMCTL32\\.DLL\n[^\n]*\n[^\n]*INITCOMMONCONTROLSEX")
    message(FATAL_ERROR "spuZarn.dll does not import InitCommonControlsEx from COMCTL32.DLL")
endif()
message(STATUS "exports: ${names}")
message(STATUS "imports: ${imports}")
