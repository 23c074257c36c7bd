# The shipped build: 32-bit Windows, win32 thread model (the posix one imports calls XP lacks).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(THREAD_MODEL win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(ORVANTA_SHIPPED ON)
# The shipped programs wait on a serial line, not on the processor: optimise for size.
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG" CACHE STRING "")
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG" CACHE STRING "")
# Its tests run the shipped programs themselves, under 32-bit Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine32-run.sh)
