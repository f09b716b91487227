# Lists the portable zip and the installer for Windows and checks that each holds exactly
# the programs, the DLLs they load and the plugins they need, and nothing of the Linux
# desktop. With BUILD_DIR (as CTest runs it) CPack first makes both into PACKAGE_DIR:
#   cmake [-DBUILD_DIR=...] -DPACKAGE_DIR=... -P windowspackages.cmake
cmake_minimum_required(VERSION 3.22)

# 7-Zip reads NSIS installers without running them.
find_program(SEVEN_ZIP 7z)
find_program(MAKENSIS makensis)
if(NOT SEVEN_ZIP OR (BUILD_DIR AND NOT MAKENSIS))
    message("SKIPPED: 7z (p7zip-full) and makensis (nsis) are needed to make and list the packages")
    return()
endif()

if(BUILD_DIR)
    file(REMOVE_RECURSE "${PACKAGE_DIR}")
    execute_process(COMMAND cpack --config "${BUILD_DIR}/CPackConfig.cmake" -B "${PACKAGE_DIR}"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(result)
        message(FATAL_ERROR "cpack failed:\n${output}")
    endif()
endif()

function(one_package pattern out)
    file(GLOB found "${PACKAGE_DIR}/${pattern}")
    list(LENGTH found count)
    if(NOT count EQUAL 1)
        message(FATAL_ERROR "expected one ${pattern} in ${PACKAGE_DIR}, found: ${found}")
    endif()
    set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The files of a package, relative to the folder the program runs from; an installer's
# own helpers ($PLUGINSDIR) only run while it installs.
function(listed package prefix out)
    execute_process(COMMAND "${SEVEN_ZIP}" l -ba -slt "${package}"
        RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE listing)
    if(result)
        message(FATAL_ERROR "7z cannot list ${package}:\n${listing}")
    endif()
    string(REPLACE "\n" ";" lines "${listing}")
    set(files)
    foreach(line IN LISTS lines)
        if(line MATCHES "^Path = (.*)$")
            string(REPLACE "\\" "/" path "${CMAKE_MATCH_1}")
            list(APPEND files "${path}")
        elseif(line STREQUAL "Folder = +")
            list(POP_BACK files)
        endif()
    endforeach()
    list(FILTER files EXCLUDE REGEX "^\\$PLUGINSDIR/")
    if(prefix)
        list(TRANSFORM files REPLACE "^${prefix}" "")
    endif()
    list(SORT files)
    set(${out} "${files}" PARENT_SCOPE)
endfunction()

set(expected
    Qt6Core.dll Qt6Gui.dll Qt6Network.dll Qt6Widgets.dll
    libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll
    platforms/qwindows.dll
    senvo-net.exe senvo-sim.exe
    styles/qwindowsvistastyle.dll)
list(SORT expected)

one_package("senvo-net-*-win64.zip" zip)
get_filename_component(folder "${zip}" NAME_WLE)
listed("${zip}" "${folder}/" zipped)
one_package("senvo-net-*-win64-setup.exe" setup)
listed("${setup}" "" installed)
set(with_uninstaller ${expected} Uninstall.exe)
list(SORT with_uninstaller)
if(NOT zipped STREQUAL expected OR NOT installed STREQUAL with_uninstaller)
    string(REPLACE ";" "\n  " zipped "${zipped}")
    string(REPLACE ";" "\n  " installed "${installed}")
    string(REPLACE ";" "\n  " expected "${expected}")
    message(FATAL_ERROR
        "zip:\n  ${zipped}\ninstaller (and Uninstall.exe):\n  ${installed}\nexpected:\n  ${expected}")
endif()
string(REPLACE ";" "\n  " expected "${expected}")
message("${zip} and ${setup} hold:\n  ${expected}")
