#!/usr/bin/env bash
# A short fuzzing run of every libFuzzer target, for CI (make fuzz-smoke, part of make test).
#
#   bash fuzz/smoke.sh [FUZZ_BUILD_DIR] [SECONDS]
#
# Each FUZZ_BUILD_DIR/fuzz/<name>_fuzz (default build-fuzz, see make fuzz) runs for
# SECONDS (default 30) over a copy of its committed corpus fuzz/corpus/<name>/, made
# in a temporary folder so that the inputs libFuzzer adds never land in the repository.
# Crash, timeout, leak and out-of-memory artifacts go to that folder too; a failing
# target's artifacts are kept and their paths printed.
#
# libFuzzer exits non-zero on a crash, a sanitizer report (AddressSanitizer,
# UndefinedBehaviorSanitizer: the build makes every UBSan finding fatal), a leak
# or an input slower than -timeout; any such exit fails the script after all the
# targets have run. So does a target without a committed corpus (or an empty
# one), and a run that did not execute at least every seed input (the executed
# units libFuzzer counts in its final statistics).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build-fuzz}
seconds=${2:-30}
bin_dir=$build/fuzz

shopt -s nullglob
targets=("$bin_dir"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz smoke: no fuzz targets in $bin_dir (run make fuzz first)" >&2
  exit 1
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-fuzz-smoke.XXXXXX")
failed=()
for bin in "${targets[@]}"; do
  [ -x "$bin" ] || continue
  target=$(basename "$bin")
  name=${target%_fuzz}
  work=$tmp/$name
  mkdir -p "$work/corpus" "$work/artifacts"
  seeds=$here/corpus/$name
  if [ -d "$seeds" ]; then
    cp -R "$seeds/." "$work/corpus/"
  fi
  count=$(find "$work/corpus" -type f | wc -l)
  if [ "$count" -eq 0 ]; then
    echo "fuzz smoke: $target FAILED: no committed corpus (fuzz/corpus/$name/ is missing or empty)" >&2
    failed+=("$target")
    continue
  fi
  echo "fuzz smoke: $target for ${seconds} s over $count seed inputs"
  # halt_on_error/abort_on_error: the first sanitizer report ends the run with
  # an error status; detect_leaks: LeakSanitizer checks each input too.
  if ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1} \
     UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:abort_on_error=1:print_stacktrace=1} \
     "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 \
       -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" \
       >"$work/log" 2>&1; then
    units=$(sed -n 's/^stat::number_of_executed_units: *\([0-9][0-9]*\).*/\1/p' "$work/log" | tail -1)
    if [ -z "$units" ] || [ "$units" -lt "$count" ]; then
      echo "fuzz smoke: $target FAILED: ran ${units:-no} inputs of $count seeds; log $work/log" >&2
      tail -5 "$work/log" | sed 's/^/  /' >&2
      failed+=("$target")
    else
      echo "  $units inputs run"
    fi
  else
    status=$?
    echo "fuzz smoke: $target FAILED (exit status $status); log $work/log" >&2
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written|deadly signal' "$work/log" | head -20 | sed 's/^/  /' >&2
    for a in "$work/artifacts"/*; do echo "  artifact: $a" >&2; done
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz smoke: failed: ${failed[*]} (inputs and logs kept in $tmp)" >&2
  exit 1
fi
rm -rf "$tmp"
echo "fuzz smoke: ${#targets[@]} targets, no crash, leak or sanitizer report"
