#!/usr/bin/env bash
# Fuzzes the datagram path (decode, parse, post into the table) and what follows the table
# (limit watch, history, overview columns) with libFuzzer for the given number of seconds
# (default 600). Builds with clang into build-fuzz; inputs that crash or break an invariant
# are written to build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-600}"
build=build-fuzz

tools/install-missing.sh cmake ninja-build clang libclang-rt-dev qt6-base-dev

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DSENVO_FUZZ=ON
cmake --build "$build" --target fuzz_datagram

# New inputs go to the scratch corpus; the seeds in the repository stay as they are.
mkdir -p "$build/corpus" "$build/findings"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The table grows across inputs by design, and libFuzzer would run a leak scan after every
# input that allocates more than it frees; leaks are the sanitizer test suite's job.
exec "$build/tests/fuzz/fuzz_datagram" \
    -max_total_time="$seconds" -max_len=65507 -timeout=10 -rss_limit_mb=2048 -detect_leaks=0 \
    -print_final_stats=1 -dict=tests/fuzz/datagram.dict \
    -artifact_prefix="$build/findings/" \
    "$build/corpus" tests/fuzz/corpus
