# Runs a libFuzzer target for a bounded time from its seed corpus; new inputs go
# to a working corpus in the build tree, never into the sources. The execution
# count is printed and, with REPORT, appended to that file.
# cmake -DNAME=<name> -DFUZZER=<binary> -DSEEDS=<dir> -DWORK=<dir> -DSECONDS=<n>
#       [-DMAX_LEN=<bytes>] [-DREPORT=<file>] -P run_fuzz.cmake
if(NOT MAX_LEN)
    set(MAX_LEN 65536)
endif()
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/crashes")
execute_process(
    COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=${MAX_LEN} -timeout=30
            -rss_limit_mb=2048 -print_final_stats=1
            -artifact_prefix=${WORK}/crashes/ "${WORK}/corpus" "${SEEDS}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output)
string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" executions "${output}")
string(REGEX REPLACE ".*: *" "" executions "${executions}")
string(REGEX MATCHALL "cov: *[0-9]+ ft: *[0-9]+ corp: *[0-9]+/[0-9]+[a-zA-Z]*" reports "${output}")
set(coverage "")
if(reports)
    list(GET reports -1 coverage)
endif()
set(summary "${NAME}: ${executions} runs in ${SECONDS} s; last report: ${coverage}")
message(STATUS "${summary}")
if(REPORT)
    file(APPEND "${REPORT}" "${summary}\n")
endif()
if(NOT result EQUAL 0)
    message("${output}")
    message(FATAL_ERROR "${NAME} failed (${result}); inputs in ${WORK}/crashes")
endif()
