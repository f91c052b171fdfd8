# The player's libraries and compiler settings when building for Windows.
# Included by the top-level CMakeLists.txt before its pkg-config look-ups.

if(NOT BT_MINGW_HOST)
  message(FATAL_ERROR "the Windows build takes the toolchain file win32/mingw-w64.cmake")
endif()
set(BT_WIN32_DEPS "" CACHE PATH "Prefix where SDL2 and libmpg123 for Windows are installed (scripts/build-win32.sh)")
if(NOT EXISTS "${BT_WIN32_DEPS}/lib/pkgconfig/sdl2.pc")
  message(FATAL_ERROR "BT_WIN32_DEPS (${BT_WIN32_DEPS}) holds no SDL2 for Windows: build with scripts/build-win32.sh")
endif()

# SDL2 and libmpg123 from that prefix, everything else from the MinGW
# sysroot; never the build machine's own .pc files or libraries.
set(ENV{PKG_CONFIG_LIBDIR} "${BT_WIN32_DEPS}/lib/pkgconfig:/usr/${BT_MINGW_HOST}/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
list(APPEND CMAKE_FIND_ROOT_PATH ${BT_WIN32_DEPS})

# zlib linked in, so that only SDL2's DLL and libmpg123's (which users may
# replace) lie beside the program.
find_library(BT_WIN32_ZLIB NAMES libz.a REQUIRED)
add_library(PkgConfig::ZLIB INTERFACE IMPORTED)
set_target_properties(PkgConfig::ZLIB PROPERTIES INTERFACE_LINK_LIBRARIES "${BT_WIN32_ZLIB}")

# Windows' own GL and GLU, through MinGW's import libraries; named like the
# pkg-config target of the Linux build so that both link alike.
add_library(PkgConfig::GLLIBS INTERFACE IMPORTED)
set_target_properties(PkgConfig::GLLIBS PROPERTIES INTERFACE_LINK_LIBRARIES "glu32;opengl32")

# MinGW's own printf: the C runtime's prints NaN and infinities in its own
# way, and the -debug trace must read the same as on Linux. Defined for every
# file, since SDL.h includes stdio.h before any C++ header could ask for it.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=1)

# The C++ runtime and the threads library linked in too: the program then
# needs no MinGW DLL beside it.
add_link_options(-static-libgcc -static-libstdc++
  -Wl,-Bstatic,--whole-archive -lwinpthread -Wl,--no-whole-archive,-Bdynamic)
# Without symbols: the release program ships as small as it can.
add_link_options($<$<CONFIG:Release>:-s>)
