#!/usr/bin/env bash
# Fuzzes one target with libFuzzer for the given number of seconds (default 600):
#   datagram (the default): the datagram path (decode, parse, post into the table) and what
#     follows the table (limit watch, history, overview columns);
#   httprequest: the reader of the metrics endpoint's requests, fed in pieces;
#   framer: the framing of syslog over TCP and TLS, a stream fed in pieces.
# Builds with clang into build-fuzz; inputs that crash or break an invariant are written to
# build-fuzz/findings/. Usage: tools/fuzz.sh [seconds] [datagram|httprequest|framer]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
target="${2:-datagram}"
build=build-fuzz

case "$target" in
datagram)
    # The table grows across inputs by design, and libFuzzer would run a leak scan after
    # every input that allocates more than it frees; leaks are the sanitizer test suite's job.
    options=(-max_len=65507 -detect_leaks=0 -dict=tests/fuzz/datagram.dict)
    seeds=tests/fuzz/corpus
    scratch="$build/corpus"
    ;;
httprequest)
    options=(-max_len=16401 -dict=tests/fuzz/httprequest.dict)
    seeds=tests/fuzz/corpus-httprequest
    scratch="$build/corpus-httprequest"
    ;;
framer)
    options=(-max_len=200000 -dict=tests/fuzz/datagram.dict)
    seeds=tests/fuzz/corpus
    scratch="$build/corpus-framer"
    ;;
*)
    echo "tools/fuzz.sh: no fuzz target \"$target\"; there are datagram, httprequest and framer" >&2
    exit 2
    ;;
esac

tools/install-missing.sh cmake ninja-build clang libclang-rt-dev qt6-base-dev libsqlite3-dev

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DSENVO_FUZZ=ON
cmake --build "$build" --target "fuzz_$target"

# New inputs go to the scratch corpus; the seeds in the repository stay as they are.
mkdir -p "$scratch" "$build/findings"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/tests/fuzz/fuzz_$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "${options[@]}" \
    -print_final_stats=1 -artifact_prefix="$build/findings/" \
    "$scratch" "$seeds"
