#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset: clang, ASan + UBSan) and runs each for a
# bounded number of executions over its seed corpus fuzz/corpus/<target>/ and its regression
# inputs fuzz/regressions/<target>/. Fails on the first crash, leak, sanitizer report or broken
# invariant; the input that did it is left in build/fuzz/artifacts/<target>/.
#
#   scripts/fuzz.sh                       CI run: every target, a minute or two in all
#   scripts/fuzz.sh --long 1000000        N executions per target (no time cap)
#   scripts/fuzz.sh [--long N] entry rs   only the named targets (entry high_level
#                                         reed_solomon mode_message matrix whole_frame)
#
# New interesting inputs go to build/fuzz/corpus/<target>/, never into the checked-in seeds.
# A crashing input worth keeping goes to fuzz/regressions/<target>/ (and, if it shows a bug of
# the decoder, into a unit test), so every later run replays it.
# The entry target's seed frames are rendered with libzint:
#   cmake --build --preset fuzz --target fuzz_make_entry_seeds
#   build/fuzz/fuzz/fuzz_make_entry_seeds fuzz/corpus/entry
# and the others' with python3 fuzz/make_seeds.py (whole_frame: the entry's frames re-headed).
set -euo pipefail
cd "$(dirname "$0")/.."

long_runs=""
targets=()
while (($#)); do
  case "$1" in
    --long) long_runs="${2:?--long needs a number of executions}"; shift 2 ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
((${#targets[@]})) || targets=(entry high_level reed_solomon mode_message matrix whole_frame)

# CI executions per target, sized to a few to twenty seconds each on one core.
declare -A ci_runs=(
  [entry]=10000 [high_level]=200000 [reed_solomon]=20000 [mode_message]=200000 [matrix]=100000
  [whole_frame]=5000)

# Longest input per target: frames up to about 140 x 140 for the entry; the others stay short
# so each execution is quick (the longest Reed-Solomon block is then 511 words).
declare -A max_len=([entry]=20000 [high_level]=2048 [reed_solomon]=1024 [mode_message]=64 [matrix]=1024
  [whole_frame]=20000)

jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

for target in "${targets[@]}"; do
  binary=build/fuzz/fuzz/fuzz_$target
  [[ -x $binary ]] || { echo "fuzz: no target $target" >&2; exit 2; }
  work=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  mkdir -p "$work" "$artifacts" "fuzz/regressions/$target"
  if [[ -n $long_runs ]]; then
    limits=(-runs="$long_runs")
  else
    # The time cap only guards against a slow machine; the run count is what CI asks for.
    limits=(-runs="${ci_runs[$target]:-100000}" -max_total_time=60)
  fi
  echo "== fuzz_$target: ${limits[*]}"
  # -close_fd_mask=1: the entry writes its trace to stdout on every call.
  # -timeout=1: an input that takes over a second fails the run as a crash would: every read's
  # work is bounded, so a slow input is a defect, kept like a crashing one.
  "$binary" "${limits[@]}" -timeout=1 -close_fd_mask=1 -max_len="${max_len[$target]:-4096}" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "fuzz/corpus/$target" "fuzz/regressions/$target" \
    2>"build/fuzz/$target.log" || {
      tail -n 60 "build/fuzz/$target.log" >&2
      echo "fuzz: fuzz_$target FAILED (log build/fuzz/$target.log, input in $artifacts/)" >&2
      exit 1
    }
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "build/fuzz/$target.log" || true
done
echo "fuzz: all clean"
