#!/usr/bin/env bash
# Compiles every source file of src/ and senvo-sim/ for Windows, syntax only, with MinGW-w64
# against Qt's headers, so that code built only on Windows keeps compiling. Linux-only and
# POSIX-only files are left out, as a Windows build leaves them out.
#
#   tools/windows-compile-check.sh FLAGS...   (include directories and definitions)
#
# Exits 77 (a skip for CTest) when the cross compiler is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."

compiler=x86_64-w64-mingw32-g++-posix
if ! command -v "$compiler" >/dev/null; then
    echo "SKIPPED: $compiler is missing (Debian package g++-mingw-w64-x86-64-posix);" \
        "tools/build.sh test installs it." >&2
    exit 77
fi

compile() {
    "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -pedantic -Werror \
        -Isrc -Isenvo-sim "$@" || { echo "FAILED: ${*: -1}" >&2; exit 1; }
}
export -f compile
export compiler

count=$(find src senvo-sim -name '*.cpp' ! -name '*linux*' ! -name '*posix*' | wc -l)
find src senvo-sim -name '*.cpp' ! -name '*linux*' ! -name '*posix*' -print0 | sort -z \
    | xargs -0 -n 1 -P "$(nproc)" bash -c 'compile "$@"' compile "$@"
echo "$count files compiled for Windows"
