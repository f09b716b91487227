#!/usr/bin/env bash
# Runs a Windows program of a cross build under Wine, the way CTest runs its tests there
# (CMAKE_CROSSCOMPILING_EMULATOR), and returns the program's exit status.
#
#   tools/wine-run.sh --setup          makes the scratch prefix $WINEPREFIX afresh
#   tools/wine-run.sh PROGRAM [ARGS]   runs PROGRAM in it
#   tools/wine-run.sh --stop           ends the prefix's wineserver
#
# Environment: WINEPREFIX, the scratch prefix (required); SENVO_WINE_QT_BIN, the bin folder
# of the Qt for Windows the program was built against.
set -euo pipefail

: "${WINEPREFIX:?the scratch Wine prefix to use}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine)

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

case "${1:-}" in
--setup)
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1
    # Wine hands no QT_ variable to a Windows program; the prefix's user environment does.
    # Without a font folder Qt finds no fonts at all under Wine.
    font_dir=$(windows_path /usr/share/fonts/truetype/dejavu)
    for setting in QT_QPA_PLATFORM=offscreen "QT_QPA_FONTDIR=$font_dir"; do
        "$wine" reg add 'HKCU\Environment' /v "${setting%%=*}" /d "${setting#*=}" /f >/dev/null
    done
    wineserver -w
    echo "Wine prefix $WINEPREFIX made ($("$wine" --version))"
    exit 0
    ;;
--stop)
    wineserver -k 2>/dev/null || true
    exit 0
    ;;
esac

program=$1
shift
runtime=(/usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib)
path=$(windows_path "${SENVO_WINE_QT_BIN:?the Qt for Windows bin folder}")
for folder in "${runtime[@]}"; do
    path+=";$(windows_path "$folder")"
done
export WINEPATH=$path

case "$(basename "$program")" in
tst_*)
    # QtTest's output does not reach a redirected standard output under Wine; a file does.
    log=$(mktemp --suffix=.txt)
    trap 'rm -f "$log" "$log.out"' EXIT
    # Not on CTest's pipe: a wineserver this run starts would hold it open long after.
    "$wine" "$program" "$@" -o "$(windows_path "$log"),txt" >"$log.out" 2>&1 </dev/null &
    pid=$!
    # Now and then Wine leaves a test's process hanging after QtTest's last line: given
    # 20 s to end after it, the process is ended and the totals decide.
    while kill -0 "$pid" 2>/dev/null && ! grep -q '^\*\{9\} Finished testing of' "$log"; do
        sleep 0.2
    done
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.2
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        cat "$log" "$log.out"
        echo "wine-run.sh: $(basename "$program") had finished but did not end; ended it" >&2
        grep -q '^Totals: [0-9]* passed, 0 failed' "$log"
        exit
    fi
    status=0
    wait "$pid" || status=$?
    cat "$log" "$log.out"
    exit "$status"
    ;;
*)
    exec "$wine" "$program" "$@"
    ;;
esac
