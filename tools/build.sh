#!/usr/bin/env bash
# Installs what is missing on Debian, builds, then starts Senvo-Net ("run", the default)
# or runs every test ("test"), then again in a sanitizer build and, built for Windows,
# under Wine; or makes the Debian packages build/senvo-net_<version>_<arch>.deb and
# build/senvo-netd_<version>_<arch>.deb from a Release build ("package"); or cross-builds for Windows the portable zip and the installer
# in build-windows/ ("windows").
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = package ]; then
    # dpkg-shlibdeps (dpkg-dev) and file work out the package's dependencies.
    tools/install-missing.sh cmake ninja-build g++ qt6-base-dev libsqlite3-dev dpkg-dev file
    # Debian's hardening flags, all of them: the installed program runs with a capability.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    # A build directory of its own, so that the everyday build keeps its type.
    cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
    cmake --build build-package --parallel "$(nproc)"
    # CPack leaves older packages where they are: only this version's may come out.
    rm -f build-package/senvo-net*_*.deb
    (cd build-package && cpack -G DEB)
    mkdir -p build
    rm -f build/senvo-net*_*.deb
    mv build-package/senvo-net*_*.deb build/
    ls build/senvo-net*_*.deb
    exit 0
fi

if [ "${1:-}" = windows ]; then
    # MinGW-w64 cross-compiles, NSIS makes the installer, 7-Zip lists it and Wine runs the
    # programs from the unpacked zip for the check below; Debian's Qt supplies the host tools
    # (moc and the like) for the Qt for Windows. tools/windows-sqlite.sh installs what it
    # builds SQLite for Windows with.
    tools/install-missing.sh cmake ninja-build qt6-base-dev g++-mingw-w64-x86-64-posix nsis \
        p7zip-full xz-utils wine wine64
    tools/windows-configure.sh build-windows -DCMAKE_BUILD_TYPE=Release
    cmake --build build-windows --parallel "$(nproc)"
    # As for the Debian package: exactly this version's packages come out.
    rm -f build-windows/senvo-net-*-win64.zip build-windows/senvo-net-*-win64-setup.exe
    (cd build-windows && cpack)
    cmake -DPACKAGE_DIR=build-windows -P tests/windowspackages.cmake
    exit 0
fi

# The sqlite3 shell is there to open the history file by hand.
packages=(cmake ninja-build g++ qt6-base-dev libsqlite3-dev sqlite3 fonts-dejavu-core)
# The tests also compile the Windows-only code, with MinGW-w64, validate the installed
# desktop entry and metainfo, and start a private message bus for the desktop notifications.
[ "${1:-run}" = test ] && packages+=(g++-mingw-w64-x86-64-posix desktop-file-utils appstream dbus-daemon)
tools/install-missing.sh "${packages[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)"

case "${1:-run}" in
run)
    exec build/src/senvo-net
    ;;
test)
    (cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)")
    # The same suite again under AddressSanitizer and UndefinedBehaviorSanitizer
    # (libasan and libubsan come with g++).
    cmake --preset asan
    cmake --build build-asan --parallel "$(nproc)"
    (cd build-asan && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)")
    # The same suite built for Windows and run under Wine, where a Qt for Windows is at hand;
    # building one takes most of an hour, which a test run does not spend unasked. It is
    # looked for first, so that nothing is installed for a suite that would be skipped.
    status=0
    tools/windows-qt.sh --if-available >/dev/null || status=$?
    if [ "$status" = 3 ]; then
        echo "Windows tests under Wine skipped: no Qt for Windows; tools/windows-qt.sh builds" \
            "one from Debian's source (about 45 minutes, once), or set SENVO_QT_WINDOWS."
        exit 0
    fi
    [ "$status" = 0 ] || exit "$status"
    # NSIS and 7-Zip make and list the Windows packages in that suite.
    if ! tools/install-missing.sh wine wine64 xz-utils nsis p7zip-full \
        || ! command -v wine >/dev/null; then
        echo "Windows tests under Wine skipped: Wine or NSIS could not be installed (Debian" \
            "packages wine, wine64, nsis and p7zip-full)."
        exit 0
    fi
    tools/windows-configure.sh build-wine -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build build-wine --parallel "$(nproc)"
    cd build-wine
    ctest --output-on-failure --parallel "$(nproc)"
    ;;
*)
    echo "usage: $0 [run|test|package|windows]" >&2
    exit 2
    ;;
esac
