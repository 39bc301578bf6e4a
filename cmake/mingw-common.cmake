# mingw-w64 cross compilers, posix thread model (GoogleTest needs std::mutex);
# everything links statically, so the programs need no runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${SPUZARN_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SPUZARN_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SPUZARN_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${SPUZARN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test programs run under Wine, in a private prefix inside the build tree.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run")
