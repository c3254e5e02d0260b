# Run at install time, after the programs and the plugins are in place (install(SCRIPT) from
# packaging/windows): puts beside them every DLL they import, followed from DLL to DLL, taken from
# the Qt and MinGW run-time folders. A name found in none of those folders is Windows' own and
# stays out. Then, when cpack or --strip asks for it, strips what this installation put down.
#
# CMake reads the imports (file(GET_RUNTIME_DEPENDENCIES)), but the names are matched here:
# Windows matches DLL names whatever their case, and CMake looks the lowered name ("qt6core.dll")
# up as it is, which on a Linux host never finds Qt6Core.dll.
# Set by packaging/windows: KURVAN_BINARIES, KURVAN_DLL_FOLDERS, KURVAN_OBJDUMP, KURVAN_STRIP.
cmake_policy(VERSION 3.21)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND "${KURVAN_OBJDUMP}")

# Lowered name -> file, the first folder winning, as Windows' search order would.
set(names "")
set(files "")
foreach(folder IN LISTS KURVAN_DLL_FOLDERS)
    file(GLOB dlls "${folder}/*.dll")
    foreach(dll IN LISTS dlls)
        cmake_path(GET dll FILENAME name)
        string(TOLOWER "${name}" name)
        if(NOT name IN_LIST names)
            list(APPEND names "${name}")
            list(APPEND files "${dll}")
        endif()
    endforeach()
endforeach()

set(shipped "")
set(pending ${KURVAN_BINARIES})
while(pending)
    file(GET_RUNTIME_DEPENDENCIES LIBRARIES ${pending}
        RESOLVED_DEPENDENCIES_VAR resolved
        UNRESOLVED_DEPENDENCIES_VAR unresolved
        CONFLICTING_DEPENDENCIES_PREFIX conflicting)
    set(pending "")
    foreach(dependency IN LISTS resolved unresolved)
        cmake_path(GET dependency FILENAME name)
        string(TOLOWER "${name}" name)
        list(FIND names "${name}" index)
        if(index GREATER_EQUAL 0)
            list(GET files ${index} file)
            if(NOT file IN_LIST shipped)
                list(APPEND shipped "${file}")
                list(APPEND pending "${file}")
            endif()
        endif()
    endforeach()
endwhile()
file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}" TYPE SHARED_LIBRARY FILES ${shipped})

# install(TARGETS) strips only the programs; the run-time DLLs carry their symbols (libstdc++
# alone 23 MB).
if(CMAKE_INSTALL_DO_STRIP)
    foreach(file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
        if(file MATCHES "\\.(exe|dll)$")
            execute_process(COMMAND "${KURVAN_STRIP}" --strip-unneeded "${file}" COMMAND_ERROR_IS_FATAL ANY)
        endif()
    endforeach()
endif()
