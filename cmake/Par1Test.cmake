# One CTest entry per test program: under Wine each process start costs
# seconds, so the programs are not split into one entry per test.
function(par1_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1
             WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
