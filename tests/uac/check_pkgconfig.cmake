cmake_minimum_required(VERSION 3.25)
# Installs the libraries' components into a staging root, as scripts/stage
# does, and builds a C application against it twice: with nothing but what
# `pkg-config --cflags --libs` says, and with nothing but find_package(CONFIG).
# Both applications must then start with only the root's library folder on
# the loader's path (libuacbridge finds the rest through its run path).
# Usage: cmake -DBUILD_DIR= -DWORK= -DPREFIX= -DLIBDIR= -DCC= -DAPP= -DAPP_PROJECT= [-DTOOLCHAIN=]
#              [-DEMULATOR=] [-DSANITIZE_FLAGS=] -P check_pkgconfig.cmake
file(REMOVE_RECURSE ${WORK})
set(root ${WORK}/root)
foreach(component uacbridge tinyalsa SRC_LINUX bsp_upgrade)
    set(ENV{DESTDIR} ${root})
    execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component ${component}
                    OUTPUT_QUIET RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "installing the ${component} component failed")
    endif()
endforeach()
unset(ENV{DESTDIR})
set(staged ${root}${PREFIX})
set(libs ${staged}/${LIBDIR})

# A run path, never an rpath: a tinyalsa the program or LD_LIBRARY_PATH
# brings must win over the private one.
file(GLOB library ${libs}/libuacbridge.so.*.*)
execute_process(COMMAND readelf -d ${library} OUTPUT_VARIABLE dynamic RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR dynamic MATCHES "\\(RPATH\\)" OR NOT dynamic MATCHES "\\(RUNPATH\\)[^\n]*\\$ORIGIN")
    message(FATAL_ERROR "libuacbridge must carry a RUNPATH relative to \$ORIGIN:\n${dynamic}")
endif()

function(run_app app)
    set(path ${libs})
    if(EMULATOR)
        list(GET EMULATOR 0 emulator)
        execute_process(COMMAND ${emulator} -L /usr/arm-linux-gnueabihf
                                -E LD_LIBRARY_PATH=${libs}:/usr/arm-linux-gnueabihf/lib ${app}
                        OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
    else()
        execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${libs} ${app}
                        OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
    endif()
    if(NOT status EQUAL 0 OR NOT out STREQUAL "4096 -1\n")
        message(FATAL_ERROR "${app} did not run from the staged root (${status}): ${out}${err}")
    endif()
endfunction()

set(ENV{PKG_CONFIG_PATH} ${libs}/pkgconfig)
set(ENV{PKG_CONFIG_LIBDIR} ${libs}/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
execute_process(COMMAND pkg-config --cflags --libs libuacbridge libbsp_upgrade
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know libuacbridge and libbsp_upgrade")
endif()
execute_process(COMMAND pkg-config --modversion libuacbridge libbsp_upgrade OUTPUT_VARIABLE versions)
if(NOT versions STREQUAL "${VERSION}\n${VERSION}\n")
    message(FATAL_ERROR "pkg-config versions ${versions} are not the libraries' ${VERSION}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
separate_arguments(sanitize UNIX_COMMAND "${SANITIZE_FLAGS}")
execute_process(COMMAND ${CC} -std=c11 -Wall -Werror ${APP} ${flags} ${sanitize} -o ${WORK}/app
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "building an application with pkg-config's flags (${flags}) failed:\n${errors}")
endif()
run_app(${WORK}/app)
message(STATUS "built with pkg-config: ${flags}")

set(configure ${CMAKE_COMMAND} -S ${APP_PROJECT} -B ${WORK}/cmake-app -DAPP=${APP} "-DCMAKE_C_FLAGS=${SANITIZE_FLAGS}"
              "-DCMAKE_EXE_LINKER_FLAGS=${SANITIZE_FLAGS}")
if(TOOLCHAIN)
    list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DSTAGED_ROOT=${root} -DCMAKE_PREFIX_PATH=${PREFIX})
else()
    list(APPEND configure -DCMAKE_PREFIX_PATH=${staged})
endif()
execute_process(COMMAND ${configure} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(status EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/cmake-app OUTPUT_VARIABLE out ERROR_VARIABLE err
                    RESULT_VARIABLE status)
endif()
if(NOT status EQUAL 0)
    message(FATAL_ERROR "building an application with find_package failed:\n${out}${err}")
endif()
run_app(${WORK}/cmake-app/app)
message(STATUS "built with find_package")
