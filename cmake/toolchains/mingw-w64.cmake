# Shared part of the MinGW-w64 cross toolchains: the posix-thread compilers (std::thread needs
# them), the target's own headers and libraries, and a static runtime so that no MinGW DLL
# (libstdc++, libgcc, winpthread) has to ship beside KSND32.dll. KSND_MINGW_TRIPLE is set first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KSND_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KSND_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KSND_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${KSND_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KSND_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
