# Cross-compiling the player for 64-bit Windows with Debian's MinGW-w64.
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=win32/mingw-w64.cmake -DBT_WIN32_DEPS=PREFIX
# (scripts/build-win32.sh does this, after building SDL2 and libmpg123 into PREFIX.)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BT_MINGW_HOST x86_64-w64-mingw32)
# The posix thread model: in this GCC only it gives std::thread, std::mutex
# and std::condition_variable, which the sound layer's decoder threads use.
set(CMAKE_C_COMPILER ${BT_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BT_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${BT_MINGW_HOST}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BT_MINGW_HOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
