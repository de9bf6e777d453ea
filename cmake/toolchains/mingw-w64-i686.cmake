# 32-bit Windows (i686) with MinGW-w64: the build KSND32.dll ships as.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KSND_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
