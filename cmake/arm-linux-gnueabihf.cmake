# 32-bit ARM Linux with the hard-float ABI (Debian armhf: ARMv7; 32-bit Raspberry Pi OS), tested
# under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(TOOLCHAIN_PREFIX arm-linux-gnueabihf)
set(QEMU qemu-arm-static)
set(ORVANTA_DEBIAN_ARCHITECTURE armhf)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
# GCC notes where GCC 7.1 changed how some arguments are passed on 32-bit ARM; that matters only
# beside code built by an older GCC, which nothing here links with.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
