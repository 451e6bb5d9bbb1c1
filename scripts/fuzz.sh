#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan, undefined behaviour fatal) and
# fuzzes one of them for a while, starting from its corpus. New inputs go to build-fuzz/corpus;
# a crashing input is written to build-fuzz/crashes (add it to the target's corpus once fixed).
#   scripts/fuzz.sh list                   the targets
#   scripts/fuzz.sh TARGET [SECONDS]       fuzz TARGET (default 600 s)
set -euo pipefail
cd "$(dirname "$0")/.."
target="${1:-list}"
seconds="${2:-600}"

scripts/setup.sh fuzz
dir=build-fuzz
if [[ "$target" == list ]]; then
  ls tests/fuzz/*_fuzz.cpp | xargs -n1 basename | sed 's/\.cpp$//'
  exit 0
fi
if [[ ! -f "tests/fuzz/$target.cpp" ]]; then
  echo "no fuzz target $target (scripts/fuzz.sh list)" >&2
  exit 2
fi

# Several targets may be fuzzed at once: they take turns configuring and building the tree.
mkdir -p "$dir"
(
  flock 9
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_SANITIZER=fuzz -DVELMORA_BUILD_UI=OFF -DVELMORA_BUILD_TESTS=OFF \
    -DVELMORA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$dir" --target "$target" -j2
) 9>"$dir/.build-lock"

work="$dir/corpus/$target"
mkdir -p "$work" "$dir/crashes"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
"$dir/tests/fuzz/$target" "$work" "tests/fuzz/corpus/$target" \
  -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 -timeout=10 \
  -artifact_prefix="$dir/crashes/$target-" -print_final_stats=1
