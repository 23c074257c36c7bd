# What both ARM Linux toolchains share: Debian's cross compilers, the target's C library under
# /usr/TOOLCHAIN_PREFIX, and QEMU's user-mode emulator to run the tests. The including file sets
# CMAKE_SYSTEM_PROCESSOR, TOOLCHAIN_PREFIX, QEMU and ORVANTA_DEBIAN_ARCHITECTURE (the package's) first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The programs run here under QEMU, which finds the target's dynamic loader and libraries under -L;
# no binfmt_misc entry is needed.
set(CMAKE_CROSSCOMPILING_EMULATOR ${QEMU} -L /usr/${TOOLCHAIN_PREFIX})
