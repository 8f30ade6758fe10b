cmake_minimum_required(VERSION 3.25)
# Installs libuacbridge's component into a scratch root and builds a C
# application with nothing but what pkg-config says about the library.
# Usage: cmake -DBUILD_DIR= -DWORK= -DLIBDIR= -DCC= -DAPP= -DLINK_EXTRA= -P check_pkgconfig.cmake
file(REMOVE_RECURSE ${WORK})
# The library's headers include the tinyalsa interface header, installed with tinyalsa.
foreach(component uacbridge tinyalsa)
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component ${component} --prefix ${WORK}/root
                    OUTPUT_QUIET RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "installing the ${component} component failed")
    endif()
endforeach()
set(ENV{PKG_CONFIG_PATH} ${WORK}/root/${LIBDIR}/pkgconfig)
set(ENV{PKG_CONFIG_LIBDIR} ${WORK}/root/${LIBDIR}/pkgconfig)
execute_process(COMMAND pkg-config --cflags --libs libuacbridge
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know libuacbridge")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(extra UNIX_COMMAND "${LINK_EXTRA}")
execute_process(COMMAND ${CC} -std=c11 -Wall -Werror ${APP} ${flags} ${extra} -o ${WORK}/app
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "building an application with pkg-config's flags (${flags}) failed:\n${errors}")
endif()
message(STATUS "built with: ${flags}")
