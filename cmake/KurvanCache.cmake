# Where the Windows build keeps what outlives a build folder: the Qt for MinGW, the C libraries
# the web remote links, their sources and the Wine prefixes, under ${XDG_CACHE_HOME:-~/.cache}/kurvan.
# Defined here and nowhere else: the toolchain file includes this file, and the scripts read it
# through `cmake -P`, which prints
#   KURVAN_CACHE='...'        the cache folder
#   KURVAN_QT_WINDOWS='...'   the Qt-for-MinGW prefix: $KURVAN_QT_WINDOWS if set, else the cache's
#   KURVAN_MINGW_LIBS='...'   the prefix of the libraries built for MinGW (scripts/mingw-libs.sh)
# for a shell to eval.
if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
    set(KURVAN_CACHE "$ENV{XDG_CACHE_HOME}/kurvan")
else()
    set(KURVAN_CACHE "$ENV{HOME}/.cache/kurvan")
endif()
if(NOT "$ENV{KURVAN_QT_WINDOWS}" STREQUAL "")
    set(KURVAN_QT_WINDOWS_DEFAULT "$ENV{KURVAN_QT_WINDOWS}")
else()
    set(KURVAN_QT_WINDOWS_DEFAULT "${KURVAN_CACHE}/qt6-mingw")
endif()
set(KURVAN_MINGW_LIBS_DEFAULT "${KURVAN_CACHE}/mingw-libs")

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "KURVAN_CACHE='${KURVAN_CACHE}'")
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "KURVAN_QT_WINDOWS='${KURVAN_QT_WINDOWS_DEFAULT}'")
    execute_process(COMMAND ${CMAKE_COMMAND} -E echo "KURVAN_MINGW_LIBS='${KURVAN_MINGW_LIBS_DEFAULT}'")
endif()
