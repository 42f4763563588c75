# The flags of this project's own code, carried by two INTERFACE targets:
#   chunktools_warnings:   the warnings (errors with CHUNKTOOLS_WERROR), for
#                          every target of ours, tests and tools alike;
#   chunktools_tool_flags: those, the tools' language discipline (no
#                          exceptions, no run-time type information) and the
#                          hardening the shipped programs carry.
include(CheckCXXCompilerFlag)

# add_flags_the_compiler_has(TARGET FLAG...): each FLAG this compiler accepts,
# as an INTERFACE compile option of TARGET.
function(add_flags_the_compiler_has target)
  foreach(flag ${ARGN})
    string(MAKE_C_IDENTIFIER "CHUNKTOOLS_HAS${flag}" known)
    check_cxx_compiler_flag(${flag} ${known})
    if(${known})
      target_compile_options(${target} INTERFACE ${flag})
    endif()
  endforeach()
endfunction()

add_library(chunktools_warnings INTERFACE)
target_compile_options(chunktools_warnings INTERFACE -Wall -Wextra -Wpedantic)
add_flags_the_compiler_has(chunktools_warnings -Wshadow -Wcast-qual -Wundef)
if(CHUNKTOOLS_WERROR)
  target_compile_options(chunktools_warnings INTERFACE -Werror)
endif()

add_library(chunktools_tool_flags INTERFACE)
target_link_libraries(chunktools_tool_flags INTERFACE chunktools_warnings)
target_compile_options(chunktools_tool_flags INTERFACE -fno-exceptions -fno-rtti)

# Hardening, on by default; off in sanitizer and fuzz builds, whose runtimes
# bring checks of their own and do not mix with fortified calls.
if(CHUNKTOOLS_SANITIZE OR CHUNKTOOLS_TSAN OR CHUNKTOOLS_FUZZ)
  set(hardening_default OFF)
else()
  set(hardening_default ON)
endif()
option(CHUNKTOOLS_HARDENING "Build the tools with stack protection, fortified calls and full RELRO"
  ${hardening_default})
if(CHUNKTOOLS_HARDENING)
  if(WIN32)
    # Address-space layout randomisation and no-execute data, which the
    # mingw-w64 linker leaves to a flag; the stack protector would bring in
    # libssp, which the self-contained executables do without.
    target_link_options(chunktools_tool_flags INTERFACE -Wl,--dynamicbase -Wl,--nxcompat)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
      target_link_options(chunktools_tool_flags INTERFACE -Wl,--high-entropy-va)
    endif()
  else()
    target_compile_options(chunktools_tool_flags INTERFACE -fstack-protector-strong)
    # Fortified calls need the optimiser; a Debug build would only warn.
    target_compile_definitions(chunktools_tool_flags INTERFACE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    target_link_options(chunktools_tool_flags INTERFACE -Wl,-z,relro,-z,now)
    # Where the compiler has them: stack probes, so that no stack growth can
    # jump over the guard page, and control-flow protection (x86).
    add_flags_the_compiler_has(chunktools_tool_flags -fstack-clash-protection -fcf-protection)
  endif()
endif()
