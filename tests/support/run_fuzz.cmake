# Runs the image fuzzer for a bounded time from the seed corpus; new inputs go
# to a working corpus in the build tree, never into the sources.
# cmake -DFUZZER=<binary> -DSEEDS=<dir> -DWORK=<dir> -DSECONDS=<n> -P run_fuzz.cmake
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/crashes")
execute_process(
    COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=65536 -timeout=30
            -rss_limit_mb=2048 -print_final_stats=1
            -artifact_prefix=${WORK}/crashes/ "${WORK}/corpus" "${SEEDS}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" executions "${output}")
string(REGEX MATCH "cov: *[0-9]+ ft: *[0-9]+ corp: *[0-9]+/[0-9]+[a-zA-Z]*" coverage "${output}")
message(STATUS "image fuzzer: ${executions}; last report: ${coverage}")
if(NOT result EQUAL 0)
    message("${output}")
    message(FATAL_ERROR "image fuzzer failed (${result}); inputs in ${WORK}/crashes")
endif()
