# Lists the Windows zip and installer: each holds exactly the programs, the DLLs and plugins
# they load, the licence texts of what they bundle, and nothing of the Linux desktop. Then,
# where Wine is installed, both programs run from the unpacked zip alone, in a Wine prefix of
# their own with nothing on the path, so that a DLL left out fails here. With BUILD_DIR (as
# CTest runs it) CPack first makes both packages into PACKAGE_DIR:
#   cmake [-DBUILD_DIR=...] -DPACKAGE_DIR=... -P windowspackages.cmake
cmake_minimum_required(VERSION 3.22)
# Wine takes only an absolute prefix.
get_filename_component(PACKAGE_DIR "${PACKAGE_DIR}" ABSOLUTE)

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
    libstdc++-6.dll libwinpthread-1.dll platforms/qwindows.dll senvo-net.exe senvo-netd.exe senvo-sim.exe
    styles/qwindowsvistastyle.dll tls/qschannelbackend.dll licenses/GPL-3.0.txt licenses/LGPL-3.0.txt licenses/NOTICE.txt
    licenses/gcc-mingw-w64-copyright.txt licenses/mingw-w64-copyright.txt
    licenses/qt6-base-copyright.txt licenses/sqlite3-copyright.txt
    licenses/qt-patches/0001-wintab-headers-from-wine.patch
    licenses/qt-patches/0002-directwrite-needs-direct2d.patch)
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

# The installer's own steps, in the script CPack gave NSIS, with its includes and macros
# expanded: before any file is written, a running copy is waited for and the earlier
# version uninstalled; the firewall rule is added after, and removed before any file goes.
set(nsis_script "${PACKAGE_DIR}/_CPack_Packages/win64/NSIS/project.nsi")
if(BUILD_DIR)
    execute_process(COMMAND "${MAKENSIS}" -PPO "${nsis_script}"
        COMMAND_ERROR_IS_FATAL ANY OUTPUT_VARIABLE script ERROR_QUIET)
    string(FIND "${script}" "Section \"-Core installation\"" install)
    string(FIND "${script}" "Section \"Uninstall\"" uninstall)
    string(SUBSTRING "${script}" ${install} -1 install)
    string(SUBSTRING "${script}" ${uninstall} -1 uninstall)
    set(rule "netsh advfirewall firewall")
    set(program "program=\"$INSTDIR\\senvo-net.exe\"")
    foreach(step
            "install;Call SenvoWaitUntilClosed;File /r"
            "install;ExecWait '\"$R8\" /S _?=$R6' $R5;File /r"
            "install;File /r;${rule} add rule name=\"Senvo-Net\" dir=in action=allow ${program} protocol=UDP profile=any"
            "uninstall;Call un.SenvoWaitUntilClosed;Delete \"$INSTDIR\\senvo-net.exe\""
            "uninstall;${rule} delete rule name=\"Senvo-Net\" dir=in ${program};Delete \"$INSTDIR\\"
            "uninstall;Delete \"$INSTDIR\\licenses\\NOTICE.txt\";RMDir \"$INSTDIR\\licenses\"")
        list(POP_FRONT step section first then)
        string(FIND "${${section}}" "${first}" at)
        string(FIND "${${section}}" "${then}" later)
        if(at LESS 0 OR later LESS 0 OR at GREATER later)
            message(FATAL_ERROR "The ${section} section of ${nsis_script} lacks\n  ${first}\n"
                "before\n  ${then}")
        endif()
    endforeach()
    message("The installer waits for a running copy, uninstalls an earlier version first, and "
        "adds and removes the firewall rule")
endif()

find_program(WINE NAMES wine64 wine)
if(NOT WINE)
    message("SKIPPED: wine (wine64) is needed to run the programs from the unpacked zip")
    return()
endif()
set(unpacked "${PACKAGE_DIR}/unpacked")
file(REMOVE_RECURSE "${unpacked}")
file(MAKE_DIRECTORY "${unpacked}")
file(ARCHIVE_EXTRACT INPUT "${zip}" DESTINATION "${unpacked}")
set(ENV{WINEPREFIX} "${PACKAGE_DIR}/wineprefix")
set(ENV{WINEPATH} "")
set(wine_run "${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh")
execute_process(COMMAND "${wine_run}" --setup COMMAND_ERROR_IS_FATAL ANY OUTPUT_QUIET)
foreach(run "senvo-net.exe;--version;Senvo-Net [0-9]" "senvo-sim.exe;--help;--port"
        "senvo-netd.exe;--help;--config")
    list(POP_FRONT run program argument expected)
    execute_process(COMMAND "${WINE}" "${program}" ${argument}
        WORKING_DIRECTORY "${unpacked}/${folder}"
        RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 120)
    if(NOT status EQUAL 0 OR NOT output MATCHES "${expected}")
        execute_process(COMMAND "${wine_run}" --stop)
        message(FATAL_ERROR "${program} ${argument}, run from the unpacked zip alone, exited with "
            "${status}:\n${output}${errors}")
    endif()
endforeach()
execute_process(COMMAND "${wine_run}" --stop)
message("senvo-net.exe --version, senvo-sim.exe --help and senvo-netd.exe --help run from the "
    "unpacked zip alone")
