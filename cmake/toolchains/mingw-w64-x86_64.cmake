# 64-bit Windows (x86_64) with MinGW-w64: the same DLLs, for running the tests under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KSND_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
