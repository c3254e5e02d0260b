# kurvan_install_program(<target>): a program of the packages. It is installed beside the others
# (bin/ on Linux; on Windows the top of the program folder, where Windows looks for DLLs first)
# and, on Windows, joins the programs whose DLLs the zip and the installer carry (the global
# property KURVAN_PROGRAMS, which packaging/windows reads). The Debian package finds its
# libraries through dpkg-shlibdeps instead.
include(GNUInstallDirs)

function(kurvan_install_program target)
    if(WIN32)
        install(TARGETS ${target} RUNTIME DESTINATION .)
        set_property(GLOBAL APPEND PROPERTY KURVAN_PROGRAMS ${target})
    else()
        install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endfunction()
