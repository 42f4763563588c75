# The Windows build's tests, run under Wine: the unit tests, and every
# command-line case of the native build's cli_tests against this build's
# executables, with console lines checked for CR LF.
set(CHUNKTOOLS_NATIVE_BUILD "" CACHE PATH
  "A native build of this source: its cli_tests run the command-line cases against these executables")
set(CHUNKTOOLS_NATIVE_CLI_TESTS "")
if(CHUNKTOOLS_NATIVE_BUILD)
  set(CHUNKTOOLS_NATIVE_CLI_TESTS ${CHUNKTOOLS_NATIVE_BUILD}/tests/cli_tests)
endif()

# A host whose kernel runs no 32-bit program cannot start the 32-bit Wine
# loader. Asked once, here: there every test of this build is reported as
# skipped with the reason, which is also kept in wine_skipped.txt for the
# Makefile to show. CHUNKTOOLS_WINE names the loader to ask.
set(wine_skip_reason "")
file(REMOVE ${PROJECT_BINARY_DIR}/wine_skipped.txt)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(wine_word_size 32)
  execute_process(COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/wine_probe.sh ${CHUNKTOOLS_WINE}
    OUTPUT_VARIABLE wine_skip_reason OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE wine_probe_status)
  if(wine_probe_status EQUAL 0 AND EXISTS /usr/lib/wine/wine64 AND NOT EXISTS /usr/lib/wine/wine)
    # Debian's wine starts, but without wine32 it runs a 32-bit program as
    # nothing at all (exit 0, no output).
    set(wine_probe_status 77)
    set(wine_skip_reason "skipped: Wine has no 32-bit loader here (Debian: dpkg --add-architecture i386; apt-get install wine32:i386)")
  endif()
  if(wine_probe_status EQUAL 0)
    set(wine_skip_reason "")
  else()
    message(STATUS "i686 Wine tests ${wine_skip_reason}")
    file(WRITE ${PROJECT_BINARY_DIR}/wine_skipped.txt "${wine_skip_reason}\n")
  endif()
endif()

# add_wine_test(NAME COMMAND...): a test run under Wine, or where Wine cannot
# start, one that says why and is reported as skipped.
function(add_wine_test name)
  if(wine_skip_reason)
    add_test(NAME ${name} COMMAND sh -c "echo \"$0\"; exit 77" "${wine_skip_reason}")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  else()
    add_test(NAME ${name} COMMAND ${ARGN})
  endif()
endfunction()

add_wine_test(wine_start sh ${CMAKE_CURRENT_SOURCE_DIR}/wine_server.sh start ${CHUNKTOOLS_WINE} ${wine_word_size})
add_wine_test(wine_stop sh ${CMAKE_CURRENT_SOURCE_DIR}/wine_server.sh stop)

# CMAKE_CROSSCOMPILING_EMULATOR puts the Wine loader in front of a target's
# executable. Where Wine cannot start it, it is not built: nothing would run it.
add_wine_test(unit_tests unit_tests)
if(wine_skip_reason)
  set_target_properties(unit_tests PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()

# One test per suite of the native cli_tests, so that they run side by side;
# the suites are listed from the program itself, so that every suite runs.
set(cli_suites)
if(CHUNKTOOLS_NATIVE_CLI_TESTS AND EXISTS ${CHUNKTOOLS_NATIVE_CLI_TESTS})
  execute_process(COMMAND ${CHUNKTOOLS_NATIVE_CLI_TESTS} --gtest_list_tests
    OUTPUT_VARIABLE listing RESULT_VARIABLE listing_failed)
  if(listing_failed)
    message(FATAL_ERROR "cannot list the suites of ${CHUNKTOOLS_NATIVE_CLI_TESTS}")
  endif()
  # Suite lines start in the first column and end in a dot.
  string(REPLACE "\n" ";" lines "${listing}")
  list(FILTER lines INCLUDE REGEX "^[^ ].*\\.$")
  list(TRANSFORM lines REPLACE "\\.$" "" OUTPUT_VARIABLE cli_suites)
elseif(CHUNKTOOLS_NATIVE_CLI_TESTS)
  message(STATUS "${CHUNKTOOLS_NATIVE_CLI_TESTS} is not built yet: no command-line cases registered")
endif()
if(cli_suites)
  # The permission cases need a second user, which a Wine prefix does not have.
  foreach(suite ${cli_suites})
    add_wine_test(cli:${suite} ${CHUNKTOOLS_NATIVE_CLI_TESTS} --gtest_filter=${suite}.*:-*Permission*)
  endforeach()
  # The kernel cases once more per tier, each run capping the tier; the 4 GiB
  # spans, which the suites above run at the best tier, only there.
  foreach(tier ${CHUNKTOOLS_CPU_TIERS})
    add_wine_test(${tier}:cli:kernel_cases ${CHUNKTOOLS_NATIVE_CLI_TESTS} --gtest_filter=${KERNEL_CASES}:-*4GiB*)
  endforeach()
endif()

if(wine_skip_reason)
  return()
endif()
# Every test of this folder but the fixture's own needs the Wine server.
get_property(WINDOWS_TESTS DIRECTORY PROPERTY TESTS)
list(REMOVE_ITEM WINDOWS_TESTS wine_start wine_stop)
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
string(REPLACE ";" " " wine_command "${CHUNKTOOLS_WINE_COMMAND}")
set(WINE_ENVIRONMENT "WINEDEBUG=-all;CHUNKTOOLS_WINE=1;CHUNKTOOLS_TOOL_WRAPPER=${wine_command};CHUNKTOOLS_CONSOLE_CRLF=1;CHUNKTOOLS_TOOL_DIR=${PROJECT_BINARY_DIR};CHUNKTOOLS_TOOL_SUFFIX=${CMAKE_EXECUTABLE_SUFFIX}")
set_tests_properties(${WINDOWS_TESTS} PROPERTIES FIXTURES_REQUIRED wine ENVIRONMENT "${WINE_ENVIRONMENT}")
if(CHUNKTOOLS_NATIVE_CLI_TESTS)
  foreach(tier ${CHUNKTOOLS_CPU_TIERS})
    # Half a minute each under Wine: started before the suites (COST).
    set_tests_properties(${tier}:cli:kernel_cases PROPERTIES COST 30
      ENVIRONMENT "${WINE_ENVIRONMENT};CHUNKTOOLS_CPU_TIER=${tier}")
  endforeach()
endif()
