# Cross build for IBM Z Linux (Debian's s390x): a big-endian host.
set(CROSS_TRIPLE s390x-linux-gnu)
set(CROSS_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross-common.cmake)
