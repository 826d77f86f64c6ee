# What the release binaries carry: a version resource on Windows, and their
# debug information in a file of their own for the packages.

# The Windows version resource (VS_VERSIONINFO) of a module or program: file
# and product version from the project's version, a description and the
# original file name. Nothing on Linux, where the module carries its version
# as text (entry/ModuleVersion.cpp).
function(par1_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
        set(PAR1_RC_TYPE VFT_DLL)
        set(PAR1_RC_FILE ${target}.dll)
    else()
        set(PAR1_RC_TYPE VFT_APP)
        set(PAR1_RC_FILE ${target}.exe)
    endif()
    set(PAR1_RC_NAME ${target})
    set(PAR1_RC_DESCRIPTION "${description}")
    configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in
                   ${PROJECT_BINARY_DIR}/version/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/version/${target}.rc)
endfunction()

# Each binary keeps its debug information in a file beside it (NAME.debug), so
# that the installed copy can be stripped and still name its symbols (see
# Par1Package.cmake).
function(par1_split_debug target)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}>
                $<TARGET_FILE:${target}>.debug
        VERBATIM)
endfunction()
