#!/usr/bin/env bash
# Prints the prefix of a Qt for Windows (x86_64, MinGW-w64) to build Senvo-Net against,
# making one first where there is none:
#   1. $SENVO_QT_WINDOWS, when set, is used as it is;
#   2. else the cache, ${XDG_CACHE_HOME:-~/.cache}/senvo-net/qt-<version>-mingw-w64, once filled;
#   3. else a prebuilt copy in ../shared/qt-windows, checked against its checksum, is unpacked
#      into the cache;
#   4. else Qt is built into the cache from Debian's own qt6-base source package (35 to 60
#      minutes on two cores, once).
# --from-source skips 3; --if-available skips 4 and exits with 3, saying nothing, where
# there is no Qt to use without building one. Only the prefix goes to standard output;
# what was done goes to standard error.
#
#   tools/windows-qt.sh [--from-source | --if-available]
set -euo pipefail
cd "$(dirname "$0")/.."

qt_version=6.4.2
source_version=6.4.2+dfsg-10
shared=../shared/qt-windows
archive=qt-${qt_version}-mingw-w64-x86_64.tar.xz
cache=${XDG_CACHE_HOME:-$HOME/.cache}/senvo-net/qt-${qt_version}-mingw-w64
prefix=$cache/qt6-win64

say() { echo "windows-qt: $*" >&2; }

if [ -n "${SENVO_QT_WINDOWS:-}" ]; then
    [ -f "$SENVO_QT_WINDOWS/lib/cmake/Qt6/qt.toolchain.cmake" ] || {
        say "SENVO_QT_WINDOWS=$SENVO_QT_WINDOWS holds no Qt for Windows"
        exit 1
    }
    say "using SENVO_QT_WINDOWS=$SENVO_QT_WINDOWS"
    echo "$SENVO_QT_WINDOWS"
    exit 0
fi
if [ -f "$cache/complete" ]; then
    say "using $prefix ($(cat "$cache/complete"))"
    echo "$prefix"
    exit 0
fi

from_source=0
[ "${1:-}" = --from-source ] && from_source=1
[ "${1:-}" = --if-available ] && [ ! -f "$shared/$archive" ] && exit 3
rm -rf "$cache"
mkdir -p "$cache"

if [ "$from_source" = 0 ] && [ -f "$shared/$archive" ]; then
    (cd "$shared" && sha256sum --quiet -c SHA256SUMS) >&2 || {
        say "$shared/$archive does not match its checksum"
        exit 1
    }
    tar -xJf "$shared/$archive" -C "$cache"
    echo "unpacked from $(readlink -f "$shared/$archive")" >"$cache/complete"
    say "using $prefix, $(cat "$cache/complete")"
    echo "$prefix"
    exit 0
fi

say "building Qt $qt_version for Windows from Debian's qt6-base source; this takes 35 to 60 minutes"
tools/install-missing.sh g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools libwine-dev \
    cmake ninja-build perl xz-utils >&2
work=$cache/source
mkdir -p "$work/lists/partial" "$work/archives/partial"

# Debian's own mirror, the one this machine installs qt6-base-dev from, with a deb-src line
# in a sources list of our own: the machine's apt sources stay as they are.
origin=$(apt-cache policy qt6-base-dev | awk '$2 ~ /^https?:/ && $3 ~ /\/main$/ {print $2, $3; exit}')
[ -n "$origin" ] || { say "no Debian mirror serves qt6-base-dev here"; exit 1; }
read -r mirror suite <<<"$origin"
echo "deb-src $mirror ${suite%/main} main" >"$work/sources.list"
apt_private=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
    -o Debug::NoLocking=1)
apt-get "${apt_private[@]}" update >&2
(cd "$work" && apt-get "${apt_private[@]}" source --download-only "qt6-base=$source_version") >&2
tar -xJf "$work"/qt6-base_"${qt_version}"+dfsg.orig.tar.xz -C "$work"
src=$(find "$work" -maxdepth 1 -type d -name 'qtbase*' | head -n 1)

# The +dfsg source leaves out the tablet header (its licence forbids changes); Wine's
# LGPL one serves once the three Wine macros it expects are defined.
mkdir -p "$src/src/3rdparty/wintab"
for header in wintab.h pktdef.h; do
    cat >"$src/src/3rdparty/wintab/$header" <<EOF
#pragma once
#include <windows.h>
#ifndef WINELIB_NAME_AW
#  ifdef UNICODE
#    define WINELIB_NAME_AW(name) name##W
#  else
#    define WINELIB_NAME_AW(name) name##A
#  endif
#  define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#endif
#ifndef API
#  define API WINAPI
#endif
#include </usr/include/wine/wine/windows/$header>
EOF
done
# Without Direct2D, Gui has no DirectWrite font database for the plugin to refer to.
sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
    "$src/src/plugins/platforms/windows/qwindowsintegration.cpp"

toolchain=$(readlink -f cmake/mingw-w64-x86_64.cmake)
start=$(date +%s)
mkdir -p "$work/build"
(
    cd "$work/build"
    "$src/configure" -prefix "$prefix" -release -shared -nomake examples -nomake tests \
        -no-opengl -no-dbus -no-feature-sql -no-feature-concurrent -no-feature-xml \
        -no-feature-printsupport -no-feature-vulkan -no-direct2d -qt-zlib -qt-pcre \
        -qt-freetype -qt-harfbuzz -qt-libpng -qt-doubleconversion -no-libjpeg -no-openssl \
        -no-icu -qt-host-path /usr -- -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    cmake --build . --parallel "$(nproc)"
    cmake --install .
) >"$work/build.log" 2>&1 || {
    say "the Qt build failed; see $work/build.log"
    exit 1
}
rm -rf "$work"
echo "built from Debian's qt6-base $source_version in $((($(date +%s) - start) / 60)) minutes" \
    >"$cache/complete"
say "using $prefix, $(cat "$cache/complete")"
echo "$prefix"
