# GoogleTest for the unit tests. The native build uses Debian's packaged
# libraries; a cross build compiles Debian's GoogleTest sources with the cross
# compiler, since no ARM build of them is installed.
if(CMAKE_CROSSCOMPILING)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    if(NOT TARGET GTest::gtest_main)
        add_library(GTest::gtest ALIAS gtest)
        add_library(GTest::gtest_main ALIAS gtest_main)
        add_library(GTest::gmock ALIAS gmock)
    endif()
else()
    find_package(GTest REQUIRED)
endif()

# platform_add_test(NAME SOURCES src... [LIBS lib...] [LABELS label...] [NO_PCH])
# One executable, run by ctest as one test (under qemu-arm in a cross build).
# Its C++ sources get GoogleTest's precompiled header (testkit/), unless
# NO_PCH: sources compiled against stand-ins of system headers, which the
# header precompiled without them would bypass, or with definitions that
# change the system headers (GCC then refuses the header: -Winvalid-pch).
function(platform_add_test name)
    cmake_parse_arguments(T "NO_PCH" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gtest)
    if(NOT T_NO_PCH)
        target_precompile_headers(${name} REUSE_FROM platform_gtest_pch)
        # The C sources (header checks as C) have no header to reuse.
        foreach(src ${T_SOURCES})
            if(src MATCHES "\\.c$")
                set_source_files_properties(${src} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
            endif()
        endforeach()
    endif()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "unit;${T_LABELS}" TIMEOUT 300)
endfunction()
