# Cross toolchain for the Linux arm64 prebuild (scripts/prebuild): Debian's
# g++-aarch64-linux-gnu, with its C library and libstdc++ in /usr/aarch64-linux-gnu.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built for arm64 (the tests, when built) run under qemu-user.
find_program(HOSTLINK_QEMU_AARCH64 qemu-aarch64)
if(HOSTLINK_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${HOSTLINK_QEMU_AARCH64} -L /usr/aarch64-linux-gnu)
endif()
