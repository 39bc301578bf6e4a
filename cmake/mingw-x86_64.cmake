# The Windows build for x86-64, used only to run the Windows test programs
# under 64-bit Wine on machines whose kernel cannot run 32-bit programs (and
# so no 32-bit Wine). The plugin itself ships as the i686 build.
set(SPUZARN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
