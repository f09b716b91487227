#!/usr/bin/env bash
# Configures a Windows (x86_64, MinGW-w64) build of Senvo-Net in BUILD_DIR against the Qt
# for Windows that tools/windows-qt.sh provides and the SQLite that tools/windows-sqlite.sh
# provides. Further arguments go to CMake.
#
#   tools/windows-configure.sh BUILD_DIR [CMAKE_ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
shift
qt=$(tools/windows-qt.sh)
sqlite=$(tools/windows-sqlite.sh)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$multiarch/cmake" \
    -DSQLite3_INCLUDE_DIR="$sqlite/include" -DSQLite3_LIBRARY="$sqlite/lib/libsqlite3.a" \
    "$@"
