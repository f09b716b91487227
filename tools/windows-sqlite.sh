#!/usr/bin/env bash
# Prints the prefix of SQLite's C library for Windows (x86_64, MinGW-w64), include/sqlite3.h
# and the static lib/libsqlite3.a, making it first where there is none: once, in a minute or
# two, into ${XDG_CACHE_HOME:-~/.cache}/senvo-net/sqlite-<version>-mingw-w64-<key>, and from
# then on that cached copy, once complete. The version is the installed libsqlite3-dev's
# Debian source version, so that Linux and Windows build against the same SQLite with
# Debian's fixes; the key is a hash of the compile options below, so changing them builds
# anew. Only the prefix goes to standard output; what was done goes to standard error.
#
#   tools/windows-sqlite.sh
set -euo pipefail
cd "$(dirname "$0")/.."

say() { echo "windows-sqlite: $*" >&2; }

compiler=x86_64-w64-mingw32-gcc-posix
# Kept to what Senvo-Net needs: safe from several threads, no extensions loaded from files,
# and strings in double quotes are never taken for identifiers.
options=(-O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION=1 -DSQLITE_DQS=0)

if ! source_version=$(dpkg-query -W -f='${source:Version}' libsqlite3-dev 2>/dev/null) \
    || [ -z "$source_version" ]; then
    tools/install-missing.sh libsqlite3-dev >&2
    source_version=$(dpkg-query -W -f='${source:Version}' libsqlite3-dev)
fi
key=$(printf '%s\n' "$compiler" "${options[@]}" | sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/senvo-net/sqlite-${source_version}-mingw-w64-$key
prefix=$cache

if [ -f "$cache/complete" ]; then
    say "using $prefix ($(cat "$cache/complete"))"
    echo "$prefix"
    exit 0
fi

# Whatever an earlier, unfinished attempt left goes; "complete" is written last of all.
rm -rf "$cache"
mkdir -p "$cache"

# tclsh generates the single-file amalgamation; dpkg-source (dpkg-dev) applies Debian's
# patches; the host's gcc and make run SQLite's configure.
tools/install-missing.sh gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 tcl dpkg-dev \
    gcc make xz-utils >&2
say "building SQLite for Windows from Debian's sqlite3 $source_version source"
work=$cache/source
log=$work/build.log
mkdir -p "$work/lists/partial" "$work/archives/partial"

# Debian's own mirror, the one this machine installs libsqlite3-dev from, with a deb-src
# line in a sources list of our own: the machine's apt sources stay as they are.
origin=$(apt-cache policy libsqlite3-dev | awk '$2 ~ /^https?:/ && $3 ~ /\/main$/ {print $2, $3; exit}')
[ -n "$origin" ] || {
    say "no Debian mirror serves libsqlite3-dev here"
    exit 1
}
read -r mirror suite <<<"$origin"
echo "deb-src $mirror ${suite%/main} main" >"$work/sources.list"
apt_private=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
    -o "Dir::State::Lists=$work/lists" -o "Dir::Cache::Archives=$work/archives"
    -o Debug::NoLocking=1)
apt-get "${apt_private[@]}" update >&2
# Unpacked with Debian's patches applied: they carry Debian's security fixes.
(cd "$work" && apt-get "${apt_private[@]}" source "sqlite3=$source_version") >&2 || {
    say "$mirror offers no sqlite3 source of version $source_version, the installed" \
        "libsqlite3-dev's; upgrade it (apt-get install libsqlite3-dev) to the version the" \
        "mirror has, then run this again"
    exit 1
}
upstream=${source_version#*:}
upstream=${upstream%-*}
src=$work/sqlite3-$upstream
[ -x "$src/configure" ] || {
    say "the sqlite3 $source_version source holds no $(basename "$src")/configure"
    exit 1
}

# Each step stops the script when it fails: the cache then lacks "complete" and the next run
# starts again from nothing.
step() {
    say "$1 (log: $log)"
    shift
    "$@" >>"$log" 2>&1 || {
        say "the SQLite build failed while running: $*"
        say "the end of $log:"
        tail -n 20 "$log" >&2
        exit 1
    }
}
start=$(date +%s)
mkdir -p "$work/build" "$prefix/include" "$prefix/lib"
cd "$work/build"
step configuring "$src/configure" --disable-tcl
step "making the amalgamation" make sqlite3.c
step compiling "$compiler" "${options[@]}" -c sqlite3.c -o sqlite3.o
step archiving x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" sqlite3.o
cp sqlite3.h "$prefix/include/"
cd - >/dev/null
rm -rf "$work"
echo "built from Debian's sqlite3 $source_version in $(($(date +%s) - start)) seconds" \
    >"$cache/complete"
say "using $prefix, $(cat "$cache/complete")"
echo "$prefix"
