# Installs the build into a scratch prefix as a package would, checks what lands there and
# validates the desktop entry and the metainfo with the tools that desktops and software
# centres use. Run by CTest: cmake -DBUILD_DIR=... -DPREFIX=... -P installlayout.cmake
cmake_minimum_required(VERSION 3.22)

function(fail text)
    message(FATAL_ERROR "${text}")
endfunction()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result)
    fail("cmake --install failed:\n${output}")
endif()

# Exactly these files, so that a stray install rule shows up too.
file(GLOB metainfo RELATIVE "${PREFIX}" "${PREFIX}/share/metainfo/*.metainfo.xml")
list(LENGTH metainfo count)
if(NOT count EQUAL 1)
    fail("expected one metainfo file in share/metainfo, found: ${metainfo}")
endif()
set(expected
    bin/senvo-net
    bin/senvo-netd
    bin/senvo-sim
    lib/systemd/system/senvo-netd.service
    share/applications/senvo-net.desktop
    share/doc/senvo-net/changelog.gz
    share/doc/senvo-net/copyright
    share/doc/senvo-netd/copyright
    share/icons/hicolor/scalable/apps/senvo-net.svg
    share/man/man1/senvo-net.1.gz
    share/man/man1/senvo-netd.1.gz
    share/man/man1/senvo-sim.1.gz
    ${metainfo})
list(SORT expected)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
if(NOT installed STREQUAL expected)
    string(REPLACE ";" "\n  " installed "${installed}")
    string(REPLACE ";" "\n  " expected "${expected}")
    fail("installed:\n  ${installed}\nexpected:\n  ${expected}")
endif()

# The menu entry starts an installed program and shows an installed icon; the metainfo
# points at that entry.
file(STRINGS "${PREFIX}/share/applications/senvo-net.desktop" exec REGEX "^Exec=")
string(REGEX REPLACE "^Exec=([^ ]*).*" "\\1" program "${exec}")
if(program STREQUAL "" OR NOT EXISTS "${PREFIX}/bin/${program}")
    fail("the desktop entry's ${exec} names no installed program")
endif()
file(STRINGS "${PREFIX}/share/applications/senvo-net.desktop" icon REGEX "^Icon=")
string(REGEX REPLACE "^Icon=" "" icon "${icon}")
if(icon STREQUAL "" OR NOT EXISTS "${PREFIX}/share/icons/hicolor/scalable/apps/${icon}.svg")
    fail("the desktop entry's icon ${icon} is not installed")
endif()
file(READ "${PREFIX}/${metainfo}" text)
if(NOT text MATCHES "<launchable type=\"desktop-id\">senvo-net.desktop</launchable>")
    fail("${metainfo} does not launch senvo-net.desktop")
endif()

# Every option that senvo-sim and senvo-netd list in --help is in their manual pages.
foreach(program senvo-sim senvo-netd)
    execute_process(COMMAND "${PREFIX}/bin/${program}" --help OUTPUT_VARIABLE help)
    execute_process(COMMAND gzip -dc "${PREFIX}/share/man/man1/${program}.1.gz"
        OUTPUT_VARIABLE manual RESULT_VARIABLE result)
    if(result)
        fail("${program}.1.gz could not be read")
    endif()
    string(REGEX MATCHALL "--[a-z-]+" options "${help}")
    if(NOT options)
        fail("${program} --help listed no options:\n${help}")
    endif()
    string(REPLACE "\\-" "-" manual "${manual}")
    foreach(option IN LISTS options)
        string(FIND "${manual}" "${option}" at)
        if(at EQUAL -1)
            fail("${program}.1 does not describe ${option}")
        endif()
    endforeach()
endforeach()

set(missing)
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}"
                            "${PREFIX}/share/applications/senvo-net.desktop"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(result OR output MATCHES "error")
        fail("desktop-file-validate:\n${output}")
    endif()
    message(STATUS "desktop-file-validate: no errors ${output}")
else()
    list(APPEND missing "desktop-file-validate (Debian package desktop-file-utils)")
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
    execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net "${PREFIX}/${metainfo}"
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(result)
        fail("appstreamcli validate --no-net:\n${output}")
    endif()
    message(STATUS "appstreamcli: ${output}")
else()
    list(APPEND missing "appstreamcli (Debian package appstream)")
endif()
if(missing)
    string(REPLACE ";" " and " missing "${missing}")
    message("SKIPPED: the installed layout is right, but ${missing} is not installed, so "
            "the desktop entry and the metainfo were not validated")
    return()
endif()
file(REMOVE_RECURSE "${PREFIX}")
