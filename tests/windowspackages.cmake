# Lists the Windows zip and installer: each holds exactly the programs, the DLLs and plugins
# they load, and nothing of the Linux desktop. With BUILD_DIR (as CTest runs it) CPack first
# makes both into PACKAGE_DIR:  cmake [-DBUILD_DIR=...] -DPACKAGE_DIR=... -P windowspackages.cmake
cmake_minimum_required(VERSION 3.22)

# 7-Zip reads an NSIS installer without running it.
find_program(SEVEN_ZIP 7z)
find_program(MAKENSIS makensis)
if(NOT SEVEN_ZIP OR (BUILD_DIR AND NOT MAKENSIS))
    message("SKIPPED: 7z (p7zip-full) and makensis (nsis) are needed to make and list the packages")
    return()
endif()
if(BUILD_DIR)
    file(REMOVE_RECURSE "${PACKAGE_DIR}")
    execute_process(
        COMMAND "${CMAKE_CPACK_COMMAND}" --config "${BUILD_DIR}/CPackConfig.cmake"
                -B "${PACKAGE_DIR}"
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
endif()

set(expected Qt6Core.dll Qt6Gui.dll Qt6Network.dll Qt6Widgets.dll libgcc_s_seh-1.dll
    libstdc++-6.dll libwinpthread-1.dll platforms/qwindows.dll senvo-net.exe senvo-sim.exe
    styles/qwindowsvistastyle.dll)
file(GLOB zip "${PACKAGE_DIR}/senvo-net-*-win64.zip")
file(GLOB setup "${PACKAGE_DIR}/senvo-net-*-win64-setup.exe")
get_filename_component(folder "${zip}" NAME_WLE)
list(SORT expected)
# The zip unpacks into a folder of its own name; the installer's own helpers ($PLUGINSDIR)
# only live while it runs.
foreach(package zip setup)
    execute_process(COMMAND "${SEVEN_ZIP}" l -ba -slt "${${package}}"
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_VARIABLE listing)
    string(REGEX MATCHALL "Path = [^\n]*\n(Folder = \\+)?" entries "${listing}")
    list(FILTER entries EXCLUDE REGEX "\\+$")
    list(TRANSFORM entries REPLACE "^Path = (${folder}/)?([^\n]*)\n" "\\2")
    list(FILTER entries EXCLUDE REGEX "^\\$PLUGINSDIR/")
    list(SORT entries)
    set(wanted ${expected})
    if(package STREQUAL "setup")
        list(APPEND wanted Uninstall.exe)
        list(SORT wanted)
    endif()
    if(NOT entries STREQUAL wanted)
        message(FATAL_ERROR "${${package}} holds\n  ${entries}\nnot\n  ${wanted}")
    endif()
endforeach()
message("${zip} and ${setup} hold ${expected}")
