# What the installed libraries tell the programs built against them: a
# pkg-config file and a CMake package (find_package(NAME CONFIG) with an
# imported target), both relocatable, so that a staging root or a device
# image found anywhere still works.
include_guard(GLOBAL)
include(CMakePackageConfigHelpers)

# platform_pc_prefix(VAR PCDIR): the prefix as a .pc file installed into PCDIR
# (relative to the install prefix) finds it from its own place.
function(platform_pc_prefix var pcdir)
    if(IS_ABSOLUTE "${pcdir}")
        set(${var} "${CMAKE_INSTALL_PREFIX}" PARENT_SCOPE)
    else()
        file(RELATIVE_PATH up /prefix/${pcdir} /prefix)
        string(REGEX REPLACE "/$" "" up "${up}")
        set(${var} "\${pcfiledir}/${up}" PARENT_SCOPE)
    endif()
endfunction()

# platform_cmake_package(NAME name TARGET target COMPONENT component
#                        [INCLUDEDIRS dir...] [LINKDIRS dir...])
# Installs NAMEConfig.cmake and NAMEConfigVersion.cmake into
# <libdir>/cmake/NAME, defining the imported target NAME::NAME for the
# installed shared library TARGET. INCLUDEDIRS are the folders its headers
# need; LINKDIRS the folders of the libraries it needs itself, which the
# linker must see when a program is linked against a root that is not the
# system's (a staging root, a cross build). Both relative to the prefix.
function(platform_cmake_package)
    cmake_parse_arguments(P "" "NAME;TARGET;COMPONENT" "INCLUDEDIRS;LINKDIRS" ${ARGN})
    set(dest ${CMAKE_INSTALL_LIBDIR}/cmake/${P_NAME})
    file(RELATIVE_PATH PACKAGE_UP /prefix/${dest} /prefix)
    set(PACKAGE_NAME ${P_NAME})
    set(PACKAGE_INCLUDEDIRS "")
    foreach(dir ${P_INCLUDEDIRS})
        list(APPEND PACKAGE_INCLUDEDIRS "\${_prefix}/${dir}")
    endforeach()
    set(PACKAGE_LINKDIRS "")
    foreach(dir ${P_LINKDIRS})
        list(APPEND PACKAGE_LINKDIRS "LINKER:-rpath-link,\${_prefix}/${dir}")
    endforeach()
    set(PACKAGE_LIBRARY "${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:${P_TARGET}>")
    set(PACKAGE_SONAME "$<TARGET_SONAME_FILE_NAME:${P_TARGET}>")
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${P_NAME}-package)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/PackageConfig.cmake.in ${work}/config.in @ONLY)
    file(GENERATE OUTPUT ${work}/${P_NAME}Config.cmake INPUT ${work}/config.in)
    write_basic_package_version_file(${work}/${P_NAME}ConfigVersion.cmake VERSION ${PROJECT_VERSION}
                                     COMPATIBILITY SameMajorVersion)
    install(FILES ${work}/${P_NAME}Config.cmake ${work}/${P_NAME}ConfigVersion.cmake DESTINATION ${dest}
            COMPONENT ${P_COMPONENT})
endfunction()

# platform_pc_file(NAME name DESCRIPTION text LIBS flags COMPONENT component)
# Installs <libdir>/pkgconfig/NAME.pc for a library installed into <libdir>
# with its headers in <includedir>.
function(platform_pc_file)
    cmake_parse_arguments(P "" "NAME;DESCRIPTION;LIBS;COMPONENT" "" ${ARGN})
    platform_pc_prefix(prefix ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
    set(file ${CMAKE_CURRENT_BINARY_DIR}/${P_NAME}.pc)
    file(WRITE ${file}
         "prefix=${prefix}\n"
         "libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}\n"
         "includedir=\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}\n\n"
         "Name: ${P_NAME}\n"
         "Description: ${P_DESCRIPTION}\n"
         "Version: ${PROJECT_VERSION}\n"
         "Cflags: -I\${includedir}\n"
         "Libs: -L\${libdir} ${P_LIBS}\n")
    install(FILES ${file} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT ${P_COMPONENT})
endfunction()
