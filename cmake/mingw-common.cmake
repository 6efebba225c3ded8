# The -posix compilers: the win32 thread model has no std::mutex, which
# GoogleTest needs. With -static the result still imports only system DLLs.
set(CMAKE_C_COMPILER ${SONABELL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SONABELL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SONABELL_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${SONABELL_MINGW_TRIPLE}-objdump)
set(CMAKE_FIND_ROOT_PATH /usr/${SONABELL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every test executable runs under Wine through this wrapper, which owns the
# build tree's Wine prefix and display.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-exec.sh)
