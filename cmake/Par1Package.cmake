# Installation and packages: a Debian package on Linux, a zip on Windows,
# each with the release binaries stripped and their symbols in a package of
# their own. The packages are made from a configured build tree with cpack
# (.ci/package-check makes and checks them from the builds the tests ran).
#
# Linux, below the prefix (/usr for the package):
#   bin/par1                  finds the module beside itself, then through its
#                             run path in lib/par1/ (see README.md)
#   lib/par1/vnbxpar1.so
#   include/par1/transport.h
#   share/doc/par1/           README and the docs
#   share/man/man1/par1.1.gz  made from par1 --help with help2man
#   lib/cups/backend/par1     the CUPS backend (cups/), mode 0755: CUPS runs
#                             it as user lp, which reaches the printer
#                             devices (/dev/lp*, /dev/usb/lp*: group lp) and
#                             the system store (root:lp); it needs no root.
#                             It finds the module in ../../par1/.
#   lib/debug/usr/...         the symbols (package par1-dbg), where gdb looks
# Windows, in one directory: vnbxpar1.dll, par1.exe and transport.h side by
# side, the README and docs; the symbols in a zip of their own (*.debug).

if(WIN32)
    set(PAR1_BIN_DIR .)
    set(PAR1_MODULE_DIR .)
    set(PAR1_INCLUDE_DIR .)
    set(PAR1_DOC_DIR .)
    set(PAR1_DEBUG_DIR .)
    set(PAR1_MODULE_DEBUG_DIR .)
else()
    set(PAR1_BIN_DIR bin)
    set(PAR1_MODULE_DIR lib/par1)
    set(PAR1_INCLUDE_DIR include/par1)
    set(PAR1_DOC_DIR share/doc/par1)
    # gdb looks for /usr/bin/par1's symbols in /usr/lib/debug/usr/bin.
    set(PAR1_DEBUG_DIR lib/debug/usr/bin)
    set(PAR1_MODULE_DEBUG_DIR lib/debug/usr/lib/par1)
    # par1 loads the module by name: beside itself first, then through this.
    set_target_properties(par1 PROPERTIES INSTALL_RPATH "$ORIGIN/../lib/par1")
endif()

install(TARGETS par1 RUNTIME DESTINATION ${PAR1_BIN_DIR} COMPONENT runtime)
if(TARGET par1_backend)
    # 0755, not 0700: a backend with no permission for group and others is
    # run as root by CUPS; this one needs no root (see above).
    install(TARGETS par1_backend RUNTIME DESTINATION lib/cups/backend COMPONENT runtime
            PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
endif()
install(TARGETS vnbxpar1
        RUNTIME DESTINATION ${PAR1_MODULE_DIR} COMPONENT runtime
        LIBRARY DESTINATION ${PAR1_MODULE_DIR} COMPONENT runtime)
install(FILES include/par1/transport.h DESTINATION ${PAR1_INCLUDE_DIR} COMPONENT runtime)
install(FILES README.md docs/performance.md docs/reliability.md
        DESTINATION ${PAR1_DOC_DIR} COMPONENT runtime)

set(PAR1_INSTALLED_BINARIES par1 vnbxpar1)
if(TARGET par1_backend)
    list(APPEND PAR1_INSTALLED_BINARIES par1_backend)
endif()
foreach(target ${PAR1_INSTALLED_BINARIES})
    if(target STREQUAL par1)
        set(directory ${PAR1_BIN_DIR})
        set(debugDirectory ${PAR1_DEBUG_DIR})
    elseif(target STREQUAL par1_backend)
        set(directory lib/cups/backend)
        set(debugDirectory lib/debug/usr/lib/cups/backend)
    else()
        set(directory ${PAR1_MODULE_DIR})
        set(debugDirectory ${PAR1_MODULE_DEBUG_DIR})
    endif()
    # The installed copy loses its debug information and names its symbols'
    # file, whose checksum it carries.
    install(CODE "
        set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${directory}/$<TARGET_FILE_NAME:${target}>\")
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --strip-debug --strip-unneeded
                                --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
                                \"\${installed}\"
                        RESULT_VARIABLE stripped)
        if(NOT stripped EQUAL 0)
            message(FATAL_ERROR \"cannot strip \${installed}\")
        endif()" COMPONENT runtime)
    install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${debugDirectory}
            COMPONENT symbols)
endforeach()

# The man page, from par1's own help (not in the sanitizer builds, whose
# par1 is no program to ship).
if(NOT CMAKE_CROSSCOMPILING AND NOT WIN32 AND NOT PAR1_SANITIZE AND NOT PAR1_SANITIZE_THREAD)
    find_program(PAR1_HELP2MAN help2man)
    if(PAR1_HELP2MAN)
        set(manPage ${CMAKE_BINARY_DIR}/man/par1.1)
        add_custom_command(OUTPUT ${manPage}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${PAR1_HELP2MAN} --no-info
                    --name "discover, print to and configure parallel-port printers"
                    --output ${manPage} $<TARGET_FILE:par1>
            COMMAND gzip -9nf ${manPage}
            DEPENDS par1 vnbxpar1
            VERBATIM)
        add_custom_target(par1_man ALL DEPENDS ${manPage}.gz)
        install(FILES ${manPage}.gz DESTINATION share/man/man1 COMPONENT runtime)
    else()
        message(STATUS "help2man not found: no man page for par1")
    endif()
endif()

set(CPACK_PACKAGE_NAME par1)
set(CPACK_PACKAGE_VENDOR "PAR1")
set(CPACK_PACKAGE_CONTACT "PAR1 maintainers <par1@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Parallel-port printer transport module and its host tool, par1")
set(CPACK_COMPONENTS_ALL runtime symbols)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "The PAR1 transport module (vnbxpar1), its public header, par1, the host tool that
discovers printers, prints files and shows and changes the module's settings, and
the CUPS backend par1 (par1:/LPT1 queues), through which any application prints.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES OFF) # stripped above, keeping the debug links
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
    # Everything in one folder, named like the zip.
    set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(CPACK_ARCHIVE_RUNTIME_FILE_NAME par1-${PROJECT_VERSION}-win64)
    set(CPACK_ARCHIVE_SYMBOLS_FILE_NAME par1-${PROJECT_VERSION}-win64-symbols)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    # What dpkg-shlibdeps finds for par1 and the module on Debian 12. Written
    # out, because CPack's own search also adds ldconfig calls for a library
    # below /usr/lib, and those maintainer scripts would keep the package
    # known to dpkg after dpkg -r; the module lies in a directory of its own
    # that ldconfig never reads.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
        "libc6 (>= 2.34), libgcc-s1 (>= 3.0), libsqlite3-0 (>= 3.20.0), libstdc++6 (>= 11)")
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME par1)
    # The backend is of use with CUPS; par1 works without it.
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "cups")
    set(CPACK_DEBIAN_SYMBOLS_PACKAGE_NAME par1-dbg)
    set(CPACK_DEBIAN_SYMBOLS_PACKAGE_SECTION debug)
    set(CPACK_DEBIAN_SYMBOLS_PACKAGE_DEPENDS "par1 (= ${PROJECT_VERSION})")
    set(CPACK_DEBIAN_SYMBOLS_PACKAGE_SHLIBDEPS OFF)
    set(CPACK_COMPONENT_SYMBOLS_DESCRIPTION "Debug symbols of par1, its transport module and the CUPS backend")
endif()
include(CPack)
