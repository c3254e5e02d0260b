# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, which Qt needs).
# Used to build Qt itself for MinGW (scripts/qt-mingw.sh), the C libraries and Qt's OpenSSL
# backend (scripts/mingw-libs.sh), and by the `windows` preset to build the client against them.
# Both prefixes are KurvanCache.cmake's, beside this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KURVAN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KURVAN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KURVAN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KURVAN_MINGW}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/KurvanCache.cmake)
set(KURVAN_QT_WINDOWS "${KURVAN_QT_WINDOWS_DEFAULT}" CACHE PATH "Qt for MinGW prefix")
set(KURVAN_MINGW_LIBS "${KURVAN_MINGW_LIBS_DEFAULT}" CACHE PATH "MinGW libraries prefix (scripts/mingw-libs.sh)")

# Headers and libraries only from the MinGW sysroot and the two prefixes; programs from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${KURVAN_MINGW} ${KURVAN_QT_WINDOWS} ${KURVAN_MINGW_LIBS})
set(CMAKE_PREFIX_PATH ${KURVAN_QT_WINDOWS} ${KURVAN_MINGW_LIBS})
# OpenSSL is linked in (no libcrypto DLL beside the programs), and found in the MinGW prefix only.
set(OPENSSL_ROOT_DIR ${KURVAN_MINGW_LIBS})
set(OPENSSL_USE_STATIC_LIBS ON)
# pkg-config is the host's: it must read the MinGW prefix's .pc files and never the Linux ones.
set(ENV{PKG_CONFIG_LIBDIR} "${KURVAN_MINGW_LIBS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
