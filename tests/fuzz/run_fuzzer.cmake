# Fuzzes one target for SECONDS on a fresh copy of its seed corpus in SCRATCH
# and prints the executions it ran. Fails when the target found a fault.
# The seed is fixed, so that a run's verdict belongs to the code and not to
# chance; longer runs with seeds of their own are for finding new faults.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/corpus ${SCRATCH}/artifacts)
file(GLOB seeds ${CORPUS}/*)
file(COPY ${seeds} DESTINATION ${SCRATCH}/corpus)
execute_process(
    COMMAND ${FUZZER} -seed=1 -max_total_time=${SECONDS} -print_final_stats=1 -timeout=10
            -rss_limit_mb=1024 -artifact_prefix=${SCRATCH}/artifacts/ ${SCRATCH}/corpus
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
file(WRITE ${SCRATCH}/fuzz.log "${output}")
string(REGEX MATCH "stat::number_of_executed_units: [0-9]+" executions "${output}")
string(REGEX MATCH "DONE +cov: [0-9]+ ft: [0-9]+ corp: [^ ]+" coverage "${output}")
get_filename_component(name ${FUZZER} NAME)
message(STATUS "${name}: ${executions} in ${SECONDS} s (${coverage})")
if(NOT result EQUAL 0)
    string(LENGTH "${output}" length)
    if(length GREATER 6000)
        math(EXPR start "${length} - 6000")
        string(SUBSTRING "${output}" ${start} -1 output)
    endif()
    message(FATAL_ERROR "${name} failed (${result}); crash input in ${SCRATCH}/artifacts\n${output}")
endif()
