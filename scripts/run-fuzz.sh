#!/usr/bin/env bash
# Runs the terminal fuzzer for a while: bash scripts/run-fuzz.sh BUILD_DIR SECONDS
# New inputs go to BUILD_DIR/fuzz-corpus (the seeds in fuzz/corpus stay untouched);
# a crash leaves its input in BUILD_DIR/fuzz-artifacts and makes this script fail.
set -euo pipefail

build_dir=${1:?usage: run-fuzz.sh BUILD_DIR SECONDS}
seconds=${2:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
fuzzer="$build_dir/bin/terminal_fuzz"

if [[ ! -x $fuzzer ]]; then
    echo "run-fuzz.sh: $fuzzer not built (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
    exit 1
fi

mkdir -p "$build_dir/fuzz-corpus" "$build_dir/fuzz-artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

exec "$fuzzer" \
    -max_total_time="$seconds" \
    -max_len=16384 \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -print_final_stats=1 \
    -artifact_prefix="$build_dir/fuzz-artifacts/" \
    "$build_dir/fuzz-corpus" "$root/fuzz/corpus"
