# Checks spuZarn.dll without running it: it exports exactly the plugin
# interface by plain, undecorated names, imports only from Windows system
# DLLs (the compiler runtime is linked in, so users install one file), and
# needs no more than SSE2 outside the mixer's kernels.
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
    if(NOT import MATCHES "^(KERNEL32|USER32|ADVAPI32|WINMM|DSOUND|MSVCRT)\\.DLL$")
        message(FATAL_ERROR "spuZarn.dll imports ${import}, which is not a Windows system DLL")
    endif()
endforeach()
message(STATUS "exports: ${names}")
message(STATUS "imports: ${imports}")

# It runs on any x86 with SSE2: instructions beyond that appear only in the
# mixer's kernels for SSE4.1 and AVX2 (chosen at run time), whose functions
# are all instances for the Sse41 or Avx2 instruction set.
execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${DLL} OUTPUT_VARIABLE code)
string(REGEX MATCHALL "\n[0-9a-f]+ <[^>\n]+>:|\t(v[a-z0-9]+|pmull?d|pm[ai][nx][su][dbw]|pblend[a-z]*|blendv[a-z]*|pextr[dbq]|pinsr[dbq]|ptest|pmov[sz]x[a-z]*|pcmpeqq|packusdw|pmuldq|round[ps][sd]|dpp[sd]|pshufb|palignr|phadd[a-z]*|phsub[a-z]*|pabs[bwd]|psign[bwd]|pmaddubsw|pmulhrsw) "
       found "${code}")
set(function "")
set(beyond "")
foreach(item IN LISTS found)
    if(item MATCHES "<([^>]+)>:$")
        set(function "${CMAKE_MATCH_1}")
    elseif(NOT function MATCHES "Sse41|Avx2")
        string(STRIP "${item}" instruction)
        list(APPEND beyond "${instruction} in ${function}")
    endif()
endforeach()
if(beyond)
    list(REMOVE_DUPLICATES beyond)
    message(FATAL_ERROR "instructions beyond SSE2 outside the mixer's kernels:\n  ${beyond}")
endif()
