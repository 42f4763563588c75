# Cross build for 64-bit ARM Linux (Debian's arm64).
set(CROSS_TRIPLE aarch64-linux-gnu)
set(CROSS_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
