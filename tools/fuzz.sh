#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour sanitizers) into
# build-fuzz/ and runs each for a bounded time, starting from its seeds in fuzz/corpus/.
#   bash tools/fuzz.sh [seconds per target, default 60] [target names...]
# New inputs go to build-fuzz/corpus/<target>/, crashes to build-fuzz/crashes/<target>/; the script
# fails when a target found a crash.
set -euo pipefail

cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=(SiteNameFuzzer LocalStateFuzzer PropertyListFuzzer BinaryCookiesFuzzer DesktopEntryFuzzer
    SiteStorageFuzzer FlatpakInfoFuzzer)

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# -O1 with line tables: quick to build for the smoke run, fast enough for long ones.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DENABLE_SANITIZER_ADDRESS=ON -DENABLE_SANITIZER_UNDEFINED_BEHAVIOR=ON -DVELTRANE_BUILD_FUZZERS=ON \
    -DVELTRANE_BUILD_TESTS=OFF -DVELTRANE_BUILD_BENCHMARKS=OFF -DVELTRANE_BUILD_SCREENSHOTS=OFF \
    "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target fuzzers -j "$(nproc)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=()
for target in "${targets[@]}"; do
    corpus="build-fuzz/corpus/$target"
    crashes="build-fuzz/crashes/$target"
    mkdir -p "$corpus" "$crashes"
    echo "== $target: $seconds s"
    if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "fuzz/corpus/$target" \
        2>"build-fuzz/$target.log"; then
        failed+=("$target")
        tail -n 40 "build-fuzz/$target.log"
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "build-fuzz/$target.log" || true
done
if [ "${#failed[@]}" -gt 0 ]; then
    echo "crashes found by: ${failed[*]} (inputs in build-fuzz/crashes/)" >&2
    exit 1
fi
