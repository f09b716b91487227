#!/usr/bin/env bash
# Usage: tools/fuzz.sh [seconds] [target]. Fuzzes with libFuzzer for the given number of
# seconds (default 600) either the datagram path (fuzz_datagram, the default: decode, parse,
# post into the table, and what follows the table: limit watch, history, overview columns)
# or the framing of syslog over TCP and TLS (fuzz_framer). Builds with clang into build-fuzz; inputs that crash or break an invariant
# are written to build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
target="${2:-fuzz_datagram}"
build=build-fuzz

tools/install-missing.sh cmake ninja-build clang libclang-rt-dev qt6-base-dev

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DSENVO_FUZZ=ON
cmake --build "$build" --target "$target"

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ "$target" = fuzz_framer ]; then
    mkdir -p "$build/corpus-framer" "$build/findings"
    exec "$build/tests/fuzz/fuzz_framer" \
        -max_total_time="$seconds" -max_len=200000 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -dict=tests/fuzz/datagram.dict \
        -artifact_prefix="$build/findings/" "$build/corpus-framer"
fi

# New inputs go to the scratch corpus; the seeds in the repository stay as they are.
mkdir -p "$build/corpus" "$build/findings"
# The table grows across inputs by design, and libFuzzer would run a leak scan after every
# input that allocates more than it frees; leaks are the sanitizer test suite's job.
exec "$build/tests/fuzz/fuzz_datagram" \
    -max_total_time="$seconds" -max_len=65507 -timeout=10 -rss_limit_mb=2048 -detect_leaks=0 \
    -print_final_stats=1 -dict=tests/fuzz/datagram.dict \
    -artifact_prefix="$build/findings/" \
    "$build/corpus" tests/fuzz/corpus
