# Checks spuZarn.dll without running it: it exports exactly the plugin
# interface by plain, undecorated names, imports only from Windows system
# DLLs (the compiler runtime is linked in, so users install one file), among
# them the common controls' InitCommonControlsEx, and needs no more than SSE2
# outside the mixer's kernels.
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

# It runs on any x86 with SSE2: instructions beyond that appear only in the
# mixer's kernels for SSE4.1 and AVX2 (chosen at run time), whose functions
# are all instances for the Sse41 or Avx2 instruction set. The DLL is
# stripped; the functions' addresses come from its debug information beside
# it (spuZarn.dll.debug), or from the DLL itself when it has its symbols.
set(symbols ${DLL})
if(EXISTS ${DLL}.debug)
    set(symbols ${DLL}.debug)
endif()
execute_process(COMMAND ${NM} --defined-only -n ${symbols} OUTPUT_VARIABLE table RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "nm could not read ${symbols}")
endif()
# The kernels' address ranges: from a kernel function to the next function.
string(REGEX MATCHALL "[0-9a-f]+ [tT] [^\n]+" functions "${table}")
set(ranges)
set(open "")
foreach(function IN LISTS functions)
    string(REGEX MATCH "^([0-9a-f]+) [tT] (.*)$" _ "${function}")
    set(address "${CMAKE_MATCH_1}")
    if(open)
        list(APPEND ranges "${open}-${address}")
        set(open "")
    endif()
    if(CMAKE_MATCH_2 MATCHES "Sse41|Avx2")
        set(open "${address}")
    endif()
endforeach()

execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${DLL} OUTPUT_VARIABLE code)
string(REGEX MATCHALL "\n *[0-9a-f]+:\t(v[a-z0-9]+|pmull?d|pm(in|ax)(sb|sd|uw|ud)|pblend[a-z]*|blendv[a-z]*|pextr[dbq]|pinsr[dbq]|ptest|pmov[sz]x[a-z]*|pcmpeqq|packusdw|pmuldq|round[ps][sd]|dpp[sd]|pshufb|palignr|phadd[a-z]*|phsub[a-z]*|pabs[bwd]|psign[bwd]|pmaddubsw|pmulhrsw) "
       found "${code}")
set(beyond "")
foreach(item IN LISTS found)
    string(REGEX MATCH "([0-9a-f]+):\t([a-z0-9]+)" _ "${item}")
    math(EXPR at "0x${CMAKE_MATCH_1}")
    set(instruction "${CMAKE_MATCH_2}")
    set(inside FALSE)
    foreach(range IN LISTS ranges)
        string(REPLACE "-" ";" bounds "${range}")
        list(GET bounds 0 from)
        list(GET bounds 1 to)
        math(EXPR from "0x${from}")
        math(EXPR to "0x${to}")
        if(at GREATER_EQUAL from AND at LESS to)
            set(inside TRUE)
            break()
        endif()
    endforeach()
    if(NOT inside)
        list(APPEND beyond "${instruction}")
    endif()
endforeach()
if(beyond)
    list(REMOVE_DUPLICATES beyond)
    message(FATAL_ERROR "instructions beyond SSE2 outside the mixer's kernels:\n  ${beyond}")
endif()
