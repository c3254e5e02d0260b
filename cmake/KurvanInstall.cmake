# kurvan_install_program(<target>): a program of the packages. It is installed beside the others
# (bin/ on Linux; on Windows the top of the program folder, where Windows looks for DLLs first)
# and, on Windows, joins the set of programs whose DLLs the zip and the installer carry
# (packaging/windows installs that set). The Debian package finds its libraries through
# dpkg-shlibdeps instead.
include(GNUInstallDirs)

function(kurvan_install_program target)
    if(WIN32)
        install(TARGETS ${target} RUNTIME_DEPENDENCY_SET kurvan_runtime RUNTIME DESTINATION .)
    else()
        install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endfunction()
