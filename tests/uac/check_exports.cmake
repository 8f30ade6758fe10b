cmake_minimum_required(VERSION 3.25)
# Checks the dynamic symbols libuacbridge defines: every name in the export
# list that the library builds must be there, and nothing else may be.
# Usage: cmake -DNM=nm -DLIBRARY=libuacbridge.so -DEXPORTS=exports.map -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()

file(STRINGS ${EXPORTS} map_lines REGEX "^[ \t]+[A-Za-z_][A-Za-z0-9_]*;")
set(allowed)
foreach(line ${map_lines})
    string(REGEX REPLACE "[ \t;]" "" name "${line}")
    list(APPEND allowed ${name})
endforeach()
# The sample-rate conversion stage is linked in only when it is built.
set(optional BSP_UacSrcInit BSP_UacSrcProcess BSP_UacSrcDeinit BSP_UacSrcGetCapacity BSP_UacSrcGetCapacityByRate
    _BSP_UacSrcCheck _BSP_GetConvertMode)

string(REPLACE "\n" ";" lines "${listing}")
set(defined)
foreach(line ${lines})
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ @]+)")
        list(APPEND defined ${CMAKE_MATCH_1})
    endif()
endforeach()

set(problems "")
foreach(name ${defined})
    if(NOT name IN_LIST allowed)
        string(APPEND problems "exported but not an entry point: ${name}\n")
    endif()
endforeach()
foreach(name ${allowed})
    if(NOT name IN_LIST defined AND NOT name IN_LIST optional)
        string(APPEND problems "entry point missing: ${name}\n")
    endif()
endforeach()
if(problems)
    message(FATAL_ERROR "${problems}")
endif()
list(LENGTH defined count)
message(STATUS "${count} symbols exported, all entry points")
