# Cross build for Linux on another processor with Debian's cross compilers
# (package g++-CROSS_TRIPLE), for the processor CROSS_PROCESSOR names. Built
# programs run under qemu's user-mode emulator (package qemu-user; CROSS_QEMU
# where its name is not qemu-CROSS_PROCESSOR), with the cross compiler's C
# library as the root of the dynamic loader.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${CROSS_PROCESSOR})
set(CMAKE_C_COMPILER ${CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT CROSS_QEMU)
  set(CROSS_QEMU qemu-${CROSS_PROCESSOR})
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${CROSS_QEMU} -L /usr/${CROSS_TRIPLE})
