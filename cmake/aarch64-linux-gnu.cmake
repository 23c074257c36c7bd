# 64-bit ARM Linux (Debian arm64, 64-bit Raspberry Pi OS), tested under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TOOLCHAIN_PREFIX aarch64-linux-gnu)
set(QEMU qemu-aarch64-static)
set(ORVANTA_DEBIAN_ARCHITECTURE arm64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
