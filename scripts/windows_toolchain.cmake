# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the posix-threads
# compilers, whose C++ library has std::thread). build-windows.sh passes the
# library prefix it builds in CLODMERE_WINDOWS_PREFIX; headers and libraries
# come from there and the compiler's own sysroot only, never from the host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CLODMERE_WINDOWS_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${CLODMERE_WINDOWS_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${CLODMERE_WINDOWS_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${CLODMERE_WINDOWS_TRIPLET}-windres)
set(CMAKE_STRIP ${CLODMERE_WINDOWS_TRIPLET}-strip)

# Try-compiles see the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CLODMERE_WINDOWS_PREFIX)
set(CMAKE_FIND_ROOT_PATH /usr/${CLODMERE_WINDOWS_TRIPLET} ${CLODMERE_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config reads the prefix's .pc files and nothing of the host's.
if(CLODMERE_WINDOWS_PREFIX)
  set(ENV{PKG_CONFIG_LIBDIR} ${CLODMERE_WINDOWS_PREFIX}/lib/pkgconfig)
  set(ENV{PKG_CONFIG_PATH} "")
endif()
