# Cross build for 64-bit Windows with Debian's MinGW-w64 (the POSIX threads flavour,
# which std::thread needs). The programs without Qt are linked statically, a single .exe
# to copy; the Qt programs share the C++ runtime DLLs of the Qt they load (CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# MinGW's C99 printf and scanf ("%zu", "%lld"), not the Windows runtime's.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)
# ctest runs the tests under Wine, with address-space randomisation off for it: Debian's
# wine64 has no preloader, and about one start in 4,500 then finds its fixed shared-data
# page already taken ("failed to map the shared user data: c0000018") and exits at once.
set(CMAKE_CROSSCOMPILING_EMULATOR setarch -R wine)
