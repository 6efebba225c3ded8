# The same sources built as 64-bit PE, for test benches whose kernel cannot run
# 32-bit code (and therefore no 32-bit Wine). The product is always the i686 build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(SONABELL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
