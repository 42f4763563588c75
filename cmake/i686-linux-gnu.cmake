# Cross build for 32-bit x86 Linux (Debian's i386), run under qemu-i386, which
# needs no 32-bit support in the host's kernel.
set(CROSS_TRIPLE i686-linux-gnu)
set(CROSS_PROCESSOR i686)
set(CROSS_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
# 64-bit bit scans (__ctzdi2) come from libgcc on a 32-bit processor: linked
# in, so that the tools need the C library alone, as on the other processors.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc")
