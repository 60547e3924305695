#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS seconds, starting from the seed inputs in fuzz/corpus/<target>/.
#   bash fuzz/run.sh SECONDS [TARGET...]     (default: every target, 60 seconds each)
# New inputs the fuzzer finds go to build-fuzz/corpus/<target>/ (not committed);
# a crashing input is saved as build-fuzz/findings/<target>/crash-* and the script
# fails. Replay one with: build-fuzz/fuzz/fuzz_<target> <file>
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(parameter_file list_file sequence_file background_file tiny_run)
build="${KALVO_FUZZ_BUILD:-$root/build-fuzz}"

CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALVO_FUZZ=ON \
  -DKALVO_BUILD_TESTS=OFF -DKALVO_BUILD_BENCH=OFF -DKALVO_BUILD_GUI=OFF >/dev/null
cmake --build "$build" -j2 --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

failed=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  dict=()
  [ -f "$root/fuzz/$target.dict" ] && dict=("-dict=$root/fuzz/$target.dict")
  echo "fuzz: $target for ${seconds}s"
  if ! ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/fuzz_$target" "$corpus" "$root/fuzz/corpus/$target" \
      "${dict[@]}" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=4096 \
      -artifact_prefix="$findings/" -print_final_stats=1 >"$build/findings/$target.log" 2>&1; then
    failed+=("$target")
    tail -n 40 "$build/findings/$target.log"
  fi
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|#[0-9]+ +DONE)' "$build/findings/$target.log" || true
done
if ((${#failed[@]})); then
  echo "fuzz: FAILED: ${failed[*]} (inputs in $build/findings/)"
  exit 1
fi
echo "fuzz: no crash in ${targets[*]}"
