# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix thread model, which Qt needs).
# Used twice: to build Qt itself for MinGW (scripts/qt-mingw.sh), and by the `windows` preset to
# build the client against that Qt. The Qt prefix is KurvanCache.cmake's, beside this file.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KURVAN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KURVAN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KURVAN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${KURVAN_MINGW}-windres)

include(${CMAKE_CURRENT_LIST_DIR}/KurvanCache.cmake)
set(KURVAN_QT_WINDOWS "${KURVAN_QT_WINDOWS_DEFAULT}" CACHE PATH "Qt for MinGW prefix")

# Headers and libraries only from the MinGW sysroot and the Qt prefix; programs from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${KURVAN_MINGW} ${KURVAN_QT_WINDOWS})
set(CMAKE_PREFIX_PATH ${KURVAN_QT_WINDOWS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
