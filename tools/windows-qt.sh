#!/usr/bin/env bash
# Prints the prefix of a Qt for Windows (x86_64, MinGW-w64) to build Senvo-Net against,
# making one first where there is none:
#   1. $SENVO_QT_WINDOWS, when set, is used as it is;
#   2. else the cache, ${XDG_CACHE_HOME:-~/.cache}/senvo-net/qt-<version>-mingw-w64-<key>,
#      once complete; the key is a hash of the configure options and the patches below, so
#      changing either builds anew;
#   3. else a prebuilt copy in $SENVO_QT_PREBUILT (default ../shared/qt-windows), made with
#      exactly these options and patches, is checked against its checksum and unpacked into
#      the cache;
#   4. else Qt is built into the cache from Debian's qt6-base source package, the version
#      the machine's own Qt is (35 to 60 minutes on two cores, once).
# The version always follows the installed qt6-base-dev, whose tools (moc and the like)
# the Windows build runs. --from-source skips 3; --if-available skips 4 and exits with 3,
# saying nothing, where there is no Qt to use without building one. Only the prefix goes to
# standard output; what was done goes to standard error.
#
#   tools/windows-qt.sh [--from-source | --if-available]
set -euo pipefail
cd "$(dirname "$0")/.."

say() { echo "windows-qt: $*" >&2; }

mode=${1:-}
case "$mode" in
'' | --from-source | --if-available) ;;
*)
    say "usage: $0 [--from-source | --if-available]"
    exit 2
    ;;
esac

# What the Qt for Windows is made of; the key below covers both.
qt_options=(-release -shared -nomake examples -nomake tests
    -no-opengl -no-dbus -no-feature-sql -no-feature-concurrent -no-feature-xml
    -no-feature-printsupport -no-feature-vulkan -no-direct2d -qt-zlib -qt-pcre
    -qt-freetype -qt-harfbuzz -qt-libpng -qt-doubleconversion -no-libjpeg -no-openssl -no-icu)
patches=(tools/qt-patches/*.patch)
# The key of the copy in $SENVO_QT_PREBUILT: it was made with the options and patches above.
prebuilt_key=3d1b63d3490be68c

# Qt's version from the installed host Qt, e.g. 6.4.2 from 6.4.2+dfsg-10.
host_qt_version() {
    local version
    version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null) || return 1
    version=${version#*:}
    echo "${version%%[+-]*}"
}
# The version a Qt prefix was built as, from its CMake package.
prefix_qt_version() {
    sed -n 's/^set(PACKAGE_VERSION "\(.*\)")$/\1/p' \
        "$1/lib/cmake/Qt6Core/Qt6CoreConfigVersionImpl.cmake" 2>/dev/null | head -n 1
}
# A prefix counts only with everything Senvo-Net and its packages take from it.
check_prefix() {
    local file
    for file in lib/cmake/Qt6/qt.toolchain.cmake bin/Qt6Core.dll bin/Qt6Gui.dll \
        bin/Qt6Network.dll bin/Qt6Widgets.dll bin/Qt6Test.dll plugins/platforms/qwindows.dll \
        plugins/styles/qwindowsvistastyle.dll; do
        [ -f "$1/$file" ] || {
            say "$1 lacks $file"
            return 1
        }
    done
}

if [ -n "${SENVO_QT_WINDOWS:-}" ]; then
    check_prefix "$SENVO_QT_WINDOWS" || {
        say "SENVO_QT_WINDOWS=$SENVO_QT_WINDOWS holds no complete Qt for Windows"
        exit 1
    }
    host=$(host_qt_version || true)
    built=$(prefix_qt_version "$SENVO_QT_WINDOWS")
    if [ -n "$host" ] && [ "$built" != "$host" ]; then
        say "SENVO_QT_WINDOWS=$SENVO_QT_WINDOWS is Qt $built, but the installed Qt tools" \
            "(qt6-base-dev) are $host; the two must be the same version"
        exit 1
    fi
    say "using SENVO_QT_WINDOWS=$SENVO_QT_WINDOWS"
    echo "$SENVO_QT_WINDOWS"
    exit 0
fi

if ! qt_version=$(host_qt_version); then
    [ "$mode" = --if-available ] && exit 3
    tools/install-missing.sh qt6-base-dev >&2
    qt_version=$(host_qt_version)
fi
key=$(printf '%s\n' "${qt_options[@]}" | cat - "${patches[@]}" | sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/senvo-net/qt-${qt_version}-mingw-w64-$key
prefix=$cache/qt6-win64
shared=${SENVO_QT_PREBUILT:-../shared/qt-windows}
archive=qt-${qt_version}-mingw-w64-x86_64.tar.xz

if [ -f "$cache/complete" ]; then
    say "using $prefix ($(cat "$cache/complete"))"
    echo "$prefix"
    exit 0
fi

prebuilt=0
if [ "$mode" != --from-source ] && [ -f "$shared/$archive" ]; then
    if [ "$key" = "$prebuilt_key" ]; then
        prebuilt=1
    else
        say "$shared/$archive was made with other configure options or patches; not using it"
    fi
fi
[ "$mode" = --if-available ] && [ "$prebuilt" = 0 ] && exit 3

# Whatever an earlier, unfinished attempt left goes; "complete" is written last of all.
rm -rf "$cache"
mkdir -p "$cache"

if [ "$prebuilt" = 1 ]; then
    (cd "$shared" && sha256sum --quiet -c SHA256SUMS) >&2 || {
        say "$shared/$archive does not match its checksum"
        exit 1
    }
    tar -xJf "$shared/$archive" -C "$cache"
    check_prefix "$prefix"
    echo "unpacked from $(readlink -f "$shared/$archive")" >"$cache/complete"
    say "using $prefix, $(cat "$cache/complete")"
    echo "$prefix"
    exit 0
fi

tools/install-missing.sh g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools libwine-dev \
    cmake ninja-build perl xz-utils patch dpkg-dev >&2
# The source of exactly the installed Qt: its tools generate code for the Windows libraries.
source_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)
upstream=${source_version#*:}
upstream=${upstream%-*}
say "building Qt $qt_version for Windows from Debian's qt6-base $source_version source;" \
    "this takes 35 to 60 minutes"
work=$cache/source
log=$work/build.log
mkdir -p "$work/lists/partial" "$work/archives/partial"

# Debian's own mirror, the one this machine installs qt6-base-dev from, with a deb-src line
# in a sources list of our own: the machine's apt sources stay as they are.
origin=$(apt-cache policy qt6-base-dev | awk '$2 ~ /^https?:/ && $3 ~ /\/main$/ {print $2, $3; exit}')
[ -n "$origin" ] || {
    say "no Debian mirror serves qt6-base-dev here"
    exit 1
}
read -r mirror suite <<<"$origin"
echo "deb-src $mirror ${suite%/main} main" >"$work/sources.list"
apt_private=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
    -o Debug::NoLocking=1)
apt-get "${apt_private[@]}" update >&2
(cd "$work" && apt-get "${apt_private[@]}" source --download-only "qt6-base=$source_version") >&2 || {
    say "$mirror offers no qt6-base source of version $source_version, the installed Qt's;" \
        "upgrade the installed Qt (apt-get install qt6-base-dev) to the version the mirror has," \
        "then run this again"
    exit 1
}
orig=$work/qt6-base_$upstream.orig.tar.xz
[ -f "$orig" ] || {
    say "the qt6-base $source_version source came without $(basename "$orig")"
    exit 1
}
tar -xJf "$orig" -C "$work"
src=$work/qtbase-everywhere-src-$qt_version
[ -d "$src" ] || {
    say "$(basename "$orig") holds no qtbase-everywhere-src-$qt_version, which Qt $qt_version's is"
    exit 1
}
for patch in "${patches[@]}"; do
    patch -d "$src" -p1 --forward --batch --fuzz=0 <"$patch" >&2 || {
        say "$patch does not apply to qt6-base $source_version; it needs updating for this source"
        exit 1
    }
done

# Each step stops the script when it fails: the cache then lacks "complete" and the next run
# starts again from nothing.
step() {
    say "$1 (log: $log)"
    shift
    "$@" >>"$log" 2>&1 || {
        say "the Qt build failed while running: $*"
        say "the end of $log:"
        tail -n 20 "$log" >&2
        exit 1
    }
}
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
toolchain=$(readlink -f cmake/mingw-w64-x86_64.cmake)
start=$(date +%s)
mkdir -p "$work/build"
cd "$work/build"
step configuring "$src/configure" -prefix "$prefix" "${qt_options[@]}" -qt-host-path /usr -- \
    -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$multiarch/cmake"
step building cmake --build . --parallel "$(nproc)"
step installing cmake --install .
cd - >/dev/null
check_prefix "$prefix"
rm -rf "$work"
echo "built from Debian's qt6-base $source_version in $((($(date +%s) - start) / 60)) minutes" \
    >"$cache/complete"
say "using $prefix, $(cat "$cache/complete")"
echo "$prefix"
