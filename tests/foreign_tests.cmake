# The tests of a cross build for another Linux processor, run under its
# emulator (CMAKE_CROSSCOMPILING_EMULATOR puts it in front of a target's
# executable): the unit tests, which cover every tier themselves; the tier
# the emulated CPU is given; and, with a native build at hand, every
# command-line case of its cli_tests against these executables and their
# bytes against its reference build, the kernel cases once per tier. The
# 4 GiB spans are left out: emulated, they take minutes.
set(CHUNKTOOLS_NATIVE_BUILD "" CACHE PATH
  "A native build of this source: its cli_tests, chunksig_reference and samplegen test these executables")

add_test(NAME unit_tests COMMAND unit_tests)

# The emulator's CPU has everything, so the table's last tier is chosen.
list(GET CHUNKTOOLS_CPU_TIERS -1 best_tier)
add_test(NAME best_tier COMMAND cpu_tiers supported)
set_tests_properties(best_tier PROPERTIES PASS_REGULAR_EXPRESSION "(^|\n)${best_tier}\n$")

# The packages, extracted, with the tools run on the sample.
add_test(NAME install_and_package
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION}
          ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
string(REPLACE ";" " " emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
set_tests_properties(install_and_package PROPERTIES SKIP_RETURN_CODE 77
  ENVIRONMENT "CHUNKTOOLS_TOOL_WRAPPER=${emulator}")

if(NOT CHUNKTOOLS_NATIVE_BUILD)
  return()
endif()
set(native_cli_tests ${CHUNKTOOLS_NATIVE_BUILD}/tests/cli_tests)
# The close-failure library the native cases preload works on the emulator's
# own close(); the emulated program's loader must not see it.
set(FOREIGN_ENVIRONMENT "CHUNKTOOLS_TOOL_WRAPPER=${emulator} -U LD_PRELOAD"
  "CHUNKTOOLS_CHUNKSIG=$<TARGET_FILE:chunksig>" "CHUNKTOOLS_IDXDUMP=$<TARGET_FILE:idxdump>"
  "CHUNKTOOLS_SIGDUMP=$<TARGET_FILE:sigdump>")

add_test(NAME cli:other_cases COMMAND ${native_cli_tests} "--gtest_filter=-${KERNEL_CASES}")
add_test(NAME permission_cases_as_nobody
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/as_nobody.sh ${native_cli_tests} --gtest_filter=*Permission*)
set_tests_properties(cli:other_cases permission_cases_as_nobody PROPERTIES ENVIRONMENT "${FOREIGN_ENVIRONMENT}")
set_tests_properties(permission_cases_as_nobody PROPERTIES SKIP_RETURN_CODE 77)
foreach(tier ${CHUNKTOOLS_CPU_TIERS})
  add_test(NAME ${tier}:cli:kernel_cases COMMAND ${native_cli_tests} "--gtest_filter=${KERNEL_CASES}:-*4GiB*")
  add_test(NAME ${tier}:chunksig_same_as_reference_build
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/compare_reference.sh ${PROJECT_BINARY_DIR} ${CHUNKTOOLS_NATIVE_BUILD})
  set_tests_properties(${tier}:cli:kernel_cases ${tier}:chunksig_same_as_reference_build PROPERTIES
    ENVIRONMENT "${FOREIGN_ENVIRONMENT};CHUNKTOOLS_CPU_TIER=${tier}")
endforeach()
