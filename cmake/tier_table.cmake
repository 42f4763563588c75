# The kernel tiers of this build. Their one table is
# chunking/kernels/tiers_<cpu>.def: rows CHUNK_TIER(name, check, scan,
# find_cut, crc_pair, "flags"), lowest first, one row possibly over several
# lines. The C++ code includes the rows; here each row gives its tier's name
# and the flags of its file chunking/kernels/<name>.cpp, exactly what the
# tier's CPU check covers.
#
# The rows used are those this compiler can build: each row's file is compiled
# once with its flags (cached as CHUNKTOOLS_COMPILER_BUILDS_<name>; set it OFF
# to leave a tier out). Every tier builds on the kernels and the checks of
# those below it, so the ladder stops at the first row that cannot be built.
# The rows used go to a generated table in the build tree,
# chunk_tier_rows.inc, which the code includes by that name.
#
# Sets CHUNKTOOLS_CPU (the table's name), CHUNKTOOLS_CPU_TIERS (the names
# used, lowest first), CHUNKTOOLS_KERNEL_SOURCES, CHUNKTOOLS_KERNEL_FLAGS_<name>
# (what chunking/CMakeLists.txt compiles each tier's file with),
# CHUNKTOOLS_CPU_CHECK_SOURCES and CHUNKTOOLS_TIER_TABLE_DIR.

if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
  set(CHUNKTOOLS_CPU x86)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$" AND CMAKE_SYSTEM_NAME STREQUAL Linux)
  set(CHUNKTOOLS_CPU aarch64)
else()
  set(CHUNKTOOLS_CPU generic)
endif()

set(kernels_dir ${PROJECT_SOURCE_DIR}/chunking/kernels)
set(table ${kernels_dir}/tiers_${CHUNKTOOLS_CPU}.def)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${table})
file(READ ${table} table_text)
# Comments out, rows whole whatever their line breaks.
string(REGEX REPLACE "//[^\n]*" "" table_text "${table_text}")
string(REGEX REPLACE "[ \t\r\n]+" " " table_text "${table_text}")
string(REGEX MATCHALL "CHUNK_TIER *\\([^)]*\\)" rows "${table_text}")
string(REGEX REPLACE "CHUNK_TIER *\\([^)]*\\)" "" rest "${table_text}")
if(NOT rest MATCHES "^ *$")
  message(FATAL_ERROR "${table}: text outside the rows: ${rest}")
endif()
if(NOT rows)
  message(FATAL_ERROR "${table}: no rows")
endif()

set(CHUNKTOOLS_CPU_TIERS)
set(CHUNKTOOLS_KERNEL_SOURCES)
set(used_rows)
set(ladder_broken FALSE)
foreach(row ${rows})
  set(identifier "[ ]*([A-Za-z_][A-Za-z0-9_]*)[ ]*")
  if(NOT row MATCHES "^CHUNK_TIER *\\(${identifier},${identifier},${identifier},${identifier},${identifier}, *\"([^\"]*)\" *\\)$")
    message(FATAL_ERROR "${table}: malformed row: ${row}")
  endif()
  set(tier ${CMAKE_MATCH_1})
  separate_arguments(tier_flags UNIX_COMMAND "${CMAKE_MATCH_6}")
  set(source ${kernels_dir}/${tier}.cpp)
  if(NOT EXISTS ${source})
    message(FATAL_ERROR "${table}: the tier ${tier} has no source file ${source}")
  endif()
  if(tier_flags AND WIN32)
    # Windows keeps the stack 16-byte aligned at most (4 bytes in 32-bit
    # code), and GCC may spill vector registers with aligned moves: have the
    # assembler make every vector move an unaligned one.
    list(APPEND tier_flags -Wa,-muse-unaligned-vector-move)
  endif()
  if(tier_flags AND NOT DEFINED CHUNKTOOLS_COMPILER_BUILDS_${tier} AND NOT ladder_broken)
    message(STATUS "Checking that the compiler builds the ${tier} tier")
    # Compiled only, into a static library: the file has no main.
    set(saved_target_type ${CMAKE_TRY_COMPILE_TARGET_TYPE})
    set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
    try_compile(builds ${CMAKE_BINARY_DIR}/tier_checks/${tier} SOURCES ${source}
      CMAKE_FLAGS "-DINCLUDE_DIRECTORIES=${PROJECT_SOURCE_DIR}"
      COMPILE_DEFINITIONS ${tier_flags}
      CXX_STANDARD 17)
    set(CMAKE_TRY_COMPILE_TARGET_TYPE ${saved_target_type})
    set(CHUNKTOOLS_COMPILER_BUILDS_${tier} ${builds} CACHE BOOL "Whether this compiler builds the ${tier} tier")
  endif()
  if(ladder_broken OR (tier_flags AND NOT CHUNKTOOLS_COMPILER_BUILDS_${tier}))
    message(STATUS "The ${tier} tier is left out: the compiler cannot build it or a tier below it")
    set(ladder_broken TRUE)
    continue()
  endif()
  list(APPEND CHUNKTOOLS_CPU_TIERS ${tier})
  list(APPEND used_rows "${row}")
  set(CHUNKTOOLS_KERNEL_FLAGS_${tier} "${tier_flags}")
  list(APPEND CHUNKTOOLS_KERNEL_SOURCES ${source})
endforeach()
set(CHUNKTOOLS_CPU_CHECK_SOURCES)
if(NOT CHUNKTOOLS_CPU STREQUAL generic)
  set(CHUNKTOOLS_CPU_CHECK_SOURCES ${kernels_dir}/cpu_${CHUNKTOOLS_CPU}.cpp)
endif()

set(CHUNKTOOLS_TIER_TABLE_DIR ${PROJECT_BINARY_DIR}/generated)
string(REPLACE ";" "\n" used_rows "${used_rows}")
file(WRITE ${CHUNKTOOLS_TIER_TABLE_DIR}/chunk_tier_rows.inc.new
  "// Generated from ${table}: the rows this compiler builds.\n${used_rows}\n")
# Copied only when changed, so that a new configure rebuilds nothing.
configure_file(${CHUNKTOOLS_TIER_TABLE_DIR}/chunk_tier_rows.inc.new ${CHUNKTOOLS_TIER_TABLE_DIR}/chunk_tier_rows.inc
  COPYONLY)
