# Checks that the module exports exactly the eight entry points, unmangled.
# Run with -DMODULE=<path> -DTOOL=<nm or objdump> -DWINDOWS=<ON|OFF>.
set(expected
    TransportGetConnectionManager TransportGetDiscoverer TransportGetName
    TransportGetVisitorManager TransportInitialize TransportInstall
    TransportUninitialize TransportUninstall)
if(WINDOWS)
    execute_process(COMMAND ${TOOL} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)" table "${dump}")
    # Brackets would confuse list handling: keep only the names.
    string(REGEX REPLACE "[ \t]*\\[[ 0-9]+\\] ([^\n]+)\n" "\\1;" names "${CMAKE_MATCH_1}")
    list(FILTER names EXCLUDE REGEX "^$")
else()
    execute_process(COMMAND ${TOOL} -D --defined-only --format=just-symbols ${MODULE}
                    OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    string(REPLACE "\n" ";" names "${dump}")
    list(FILTER names EXCLUDE REGEX "^$")
endif()
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TOOL} failed on ${MODULE}")
endif()
list(SORT names)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "exports of ${MODULE}:\n  ${names}\nexpected:\n  ${expected}")
endif()
message(STATUS "exports: ${names}")
