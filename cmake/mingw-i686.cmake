# Cross build for 32-bit Windows with Debian's mingw-w64 (package g++-mingw-w64-i686).
set(SPUZARN_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The plugin runs on any x86 with SSE2; the mixer's SSE4.1 and AVX2 kernels
# are chosen at run time.
set(CMAKE_CXX_FLAGS_INIT "-msse2")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
