# Cross build for Windows with Debian's mingw-w64 compilers, for the
# processor MINGW_ARCH names (i686 or x86_64). The -posix compilers: the win32
# thread model's libstdc++ lacks std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(CMAKE_C_COMPILER ${MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_ARCH}-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Self-contained executables that import only KERNEL32 and msvcrt.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Tests and command-line cases run under Wine, through the loader of the
# program's own word size: Debian's `wine` always starts the 32-bit loader when
# wine32 is installed, which a kernel without 32-bit support cannot run, so
# 64-bit programs go to wine64 (on PATH, or where Debian keeps it).
if(MINGW_ARCH STREQUAL x86_64)
  find_program(CHUNKTOOLS_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine
    DOC "The Wine loader that runs this build's programs")
else()
  find_program(CHUNKTOOLS_WINE NAMES wine DOC "The Wine loader that runs this build's programs")
endif()
if(NOT CHUNKTOOLS_WINE)
  set(CHUNKTOOLS_WINE wine)
endif()
# Wine maps Windows' shared user data at a fixed address; with the address
# space laid out at random, a library or the stack now and then lies there
# already and the program never starts ("failed to map the shared user data",
# about once in several hundred starts here). setarch -R starts it with the
# layout fixed. CHUNKTOOLS_WINE_COMMAND is the whole command, as a list.
find_program(CHUNKTOOLS_SETARCH setarch DOC "util-linux's setarch, to start Wine without address randomization")
if(CHUNKTOOLS_SETARCH)
  set(CHUNKTOOLS_WINE_COMMAND ${CHUNKTOOLS_SETARCH} -R ${CHUNKTOOLS_WINE})
else()
  set(CHUNKTOOLS_WINE_COMMAND ${CHUNKTOOLS_WINE})
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CHUNKTOOLS_WINE_COMMAND})
