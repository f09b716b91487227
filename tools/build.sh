#!/usr/bin/env bash
# Installs what is missing on Debian, builds, then starts Senvo-Net ("run", the default)
# or runs every test ("test"), then again in a sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ qt6-base-dev fonts-dejavu-core)
# The tests also compile the Windows-only code, with MinGW-w64.
[ "${1:-run}" = test ] && packages+=(g++-mingw-w64-x86-64-posix)
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
    cd build-asan
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)"
    ;;
*)
    echo "usage: $0 [run|test]" >&2
    exit 2
    ;;
esac
