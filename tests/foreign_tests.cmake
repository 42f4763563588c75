# The tests of a cross build for another Linux processor, run under its
# emulator (CMAKE_CROSSCOMPILING_EMULATOR puts it in front of a target's
# executable): the unit tests, which cover every tier themselves; the tier
# the emulated CPU is given; and, with a native build at hand, every
# command-line case of its cli_tests against these executables and their
# bytes against its reference build, the kernel cases once per tier. The
# 4 GiB spans are left out: emulated, they take minutes.
set(CHUNKTOOLS_NATIVE_BUILD "" CACHE PATH
  "A native build of this source: its cli_tests, chunksig_reference and samplegen test these executables")

# Under qemu-i386 the cases that start a thread skip, with this reason.
set(no_threads_under_qemu_i386 "CHUNKTOOLS_NO_THREADS=qemu-i386 7.2 hangs when a 32-bit program starts a thread")

# The emulator and its arguments, one string, as CHUNKTOOLS_TOOL_WRAPPER takes it.
string(REPLACE ";" " " emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")

set(native_cli_tests ${CHUNKTOOLS_NATIVE_BUILD}/tests/cli_tests)
# The close-failure library the native cases preload works on the emulator's
# own close(); the emulated program's loader must not see it.
set(FOREIGN_ENVIRONMENT_FILES "CHUNKTOOLS_TOOL_DIR=${PROJECT_BINARY_DIR}")

# add_cpu_tests(PREFIX BEST_TIER EMULATOR...): the tests of one emulated CPU,
# whose best tier is BEST_TIER: the unit tests, the tier it chooses and, with
# a native build, the kernel cases and the reference comparison in every tier
# up to its best (an x86 model: in its best), each run capping the tier.
function(add_cpu_tests prefix best_tier)
  string(REPLACE ";" " " cpu_emulator "${ARGN}")
  add_test(NAME ${prefix}unit_tests COMMAND ${ARGN} $<TARGET_FILE:unit_tests>)
  if(CHUNKTOOLS_CPU STREQUAL x86)
    # The tools start no thread unless asked (chunksig -j); two unit tests
    # do, for a pipe's writer.
    set_tests_properties(${prefix}unit_tests PROPERTIES ENVIRONMENT
      "${no_threads_under_qemu_i386}")
  endif()
  add_test(NAME ${prefix}chooses_${best_tier} COMMAND ${ARGN} $<TARGET_FILE:cpu_tiers> supported)
  set_tests_properties(${prefix}chooses_${best_tier} PROPERTIES PASS_REGULAR_EXPRESSION "(^|\n)${best_tier}\n$")
  if(NOT CHUNKTOOLS_NATIVE_BUILD)
    return()
  endif()
  foreach(tier ${CHUNKTOOLS_CPU_TIERS})
    # An x86 model runs its best tier only: each lower tier is the best of an
    # older model.
    if(CHUNKTOOLS_CPU STREQUAL x86 AND NOT tier STREQUAL best_tier)
      continue()
    endif()
    add_test(NAME ${prefix}${tier}:cli:kernel_cases
      COMMAND ${native_cli_tests} "--gtest_filter=${KERNEL_CASES}:-*4GiB*")
    add_test(NAME ${prefix}${tier}:chunksig_same_as_reference_build
      COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/compare_reference.sh ${PROJECT_BINARY_DIR} ${CHUNKTOOLS_NATIVE_BUILD})
    set(kernel_environment
      "CHUNKTOOLS_TOOL_WRAPPER=${cpu_emulator} -U LD_PRELOAD;${FOREIGN_ENVIRONMENT_FILES};CHUNKTOOLS_CPU_TIER=${tier}")
    if(CHUNKTOOLS_CPU STREQUAL x86)
      # chunksig -j starts threads: its cases skip, with the reason.
      list(APPEND kernel_environment "${no_threads_under_qemu_i386}")
    endif()
    # Under emulation these take from 15 to 30 seconds: started before the
    # short ones (COST), so that neither core idles at the end.
    set_tests_properties(${prefix}${tier}:cli:kernel_cases ${prefix}${tier}:chunksig_same_as_reference_build
      PROPERTIES ENVIRONMENT "${kernel_environment}" COST 20)
    if(tier STREQUAL best_tier)
      break()
    endif()
  endforeach()
endfunction()

# An ARM or IBM Z emulator's CPU has everything, so the table's last tier is
# chosen there. An x86 build runs on each of qemu's older x86 models instead,
# as the native build's `make cpu-test` does, so that each tier qemu can
# emulate runs on a CPU that has only the tiers up to it. Test names give the
# CPU model and the tier: cpu:Haswell:chooses_avx2,
# cpu:Haswell:avx2:cli:kernel_cases.
if(CHUNKTOOLS_CPU STREQUAL x86)
  include(${PROJECT_SOURCE_DIR}/cmake/qemu_x86_cpu_models.cmake)
  list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 qemu)
  list(SUBLIST CMAKE_CROSSCOMPILING_EMULATOR 1 -1 qemu_arguments)
  foreach(entry ${CHUNKTOOLS_QEMU_X86_MODELS})
    qemu_x86_model(${entry} model model_name tier)
    add_cpu_tests(cpu:${model_name}: ${tier} ${qemu} -cpu ${model}${CHUNKTOOLS_QEMU_I386_EXTRA_FEATURES} ${qemu_arguments})
  endforeach()
else()
  list(GET CHUNKTOOLS_CPU_TIERS -1 best_tier)
  add_cpu_tests("" ${best_tier} ${CMAKE_CROSSCOMPILING_EMULATOR})
endif()

# The packages, extracted, with the tools run on the sample.
add_test(NAME install_and_package
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/install_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_VERSION}
          ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
set(package_environment "CHUNKTOOLS_TOOL_WRAPPER=${emulator}")
if(CHUNKTOOLS_HARDENING)
  list(APPEND package_environment CHUNKTOOLS_HARDENED=1)
endif()
list(APPEND package_environment "CHUNKTOOLS_TOOL_LIST=${CHUNKTOOLS_TOOL_WORDS}")
set_tests_properties(install_and_package PROPERTIES SKIP_RETURN_CODE 77 COST 12 ENVIRONMENT "${package_environment}")

if(NOT CHUNKTOOLS_NATIVE_BUILD)
  return()
endif()
set(FOREIGN_ENVIRONMENT "CHUNKTOOLS_TOOL_WRAPPER=${emulator} -U LD_PRELOAD;${FOREIGN_ENVIRONMENT_FILES}")
if(CHUNKTOOLS_CPU STREQUAL x86)
  list(APPEND FOREIGN_ENVIRONMENT "${no_threads_under_qemu_i386}")
endif()
# But the progress line's cases, which wait out a second each to test the
# terminal, not the processor.
add_test(NAME cli:other_cases COMMAND ${native_cli_tests} "--gtest_filter=-${KERNEL_CASES}:*ProgressOnATerminal*")
add_test(NAME permission_cases_as_nobody
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/as_nobody.sh ${native_cli_tests} --gtest_filter=*Permission*)
set_tests_properties(cli:other_cases permission_cases_as_nobody PROPERTIES ENVIRONMENT "${FOREIGN_ENVIRONMENT}")
# The longest run here (35 to 45 seconds emulated): first of all.
set_tests_properties(cli:other_cases PROPERTIES COST 40)
set_tests_properties(permission_cases_as_nobody PROPERTIES SKIP_RETURN_CODE 77)
