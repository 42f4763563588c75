# The Windows build's tests, run under Wine: the unit tests, and every
# command-line case of the native build's cli_tests against this build's
# executables, with console lines checked for CR LF.
set(CHUNKTOOLS_NATIVE_CLI_TESTS "" CACHE FILEPATH
  "cli_tests of a native build, to run the command-line cases against these executables")

add_test(NAME wine_start COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine_server.sh start)
add_test(NAME wine_stop COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine_server.sh stop)
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)

# CMAKE_CROSSCOMPILING_EMULATOR puts wine in front of a target's executable.
add_test(NAME unit_tests COMMAND unit_tests)
set(WINDOWS_TESTS unit_tests)

if(CHUNKTOOLS_NATIVE_CLI_TESTS)
  # One test per suite, so that they run side by side. The permission cases
  # need a second user, which a Wine prefix does not have.
  foreach(suite ChunksigAgainstModelRandom ChunksigExamples ChunksigFailures IdxdumpFailures
                FaultMatrix Inputs/ChunksigAgainstModel Entries/IdxdumpOutput Records/SigdumpOutput
                Cases/FailureReasons)
    add_test(NAME cli:${suite}
      COMMAND ${CHUNKTOOLS_NATIVE_CLI_TESTS} --gtest_filter=${suite}.*:-*Permission*)
    list(APPEND WINDOWS_TESTS cli:${suite})
  endforeach()
  # The kernel cases once more per tier, each run capping the tier; the 4 GiB
  # spans, which the suites above run at the best tier, only there.
  foreach(tier ${CHUNKTOOLS_CPU_TIERS})
    add_test(NAME ${tier}:cli:kernel_cases
      COMMAND ${CHUNKTOOLS_NATIVE_CLI_TESTS} --gtest_filter=${KERNEL_CASES}:-*4GiB*)
    list(APPEND WINDOWS_TESTS ${tier}:cli:kernel_cases)
  endforeach()
endif()

set(WINE_ENVIRONMENT "WINEDEBUG=-all;CHUNKTOOLS_WINE=1;CHUNKTOOLS_TOOL_WRAPPER=wine;CHUNKTOOLS_CONSOLE_CRLF=1;CHUNKTOOLS_CHUNKSIG=$<TARGET_FILE:chunksig>;CHUNKTOOLS_IDXDUMP=$<TARGET_FILE:idxdump>;CHUNKTOOLS_SIGDUMP=$<TARGET_FILE:sigdump>")
set_tests_properties(${WINDOWS_TESTS} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${WINE_ENVIRONMENT}")
if(CHUNKTOOLS_NATIVE_CLI_TESTS)
  foreach(tier ${CHUNKTOOLS_CPU_TIERS})
    set_tests_properties(${tier}:cli:kernel_cases PROPERTIES
      ENVIRONMENT "${WINE_ENVIRONMENT};CHUNKTOOLS_CPU_TIER=${tier}")
  endforeach()
endif()
