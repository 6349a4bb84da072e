#!/usr/bin/env bash
# tests/run_as.sh runs the unprivileged cases wherever the checkout lies.
#
#   bash tests/run_as_test.sh TESTS_CORE DATA_FOLDER
#
# As root: a copy of the test program and its data is put in a folder of mode
# 0700 that nobody cannot enter (as a checkout under /root is), run through
# run_as.sh, and must give the program's own result: a pass, and a failure once a
# fixture is damaged. No mode under the folder may change. As another user the
# plain path runs the program as that user.
set -euo pipefail

program=${1:?usage: run_as_test.sh TESTS_CORE DATA_FOLDER}
data=${2:?usage: run_as_test.sh TESTS_CORE DATA_FOLDER}
run_as=$(cd "$(dirname "$0")" && pwd)/run_as.sh
# One case that needs the permissions to hold, and one that reads every fixture.
filter='AnalysisTest.UnreadableFile:FrameTablePin.*'
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ "$(id -u)" -ne 0 ]; then
  out=$(QUORVEL_TEST_DATA=$data bash "$run_as" unprivileged "$program" --gtest_filter="$filter" 2>&1) ||
    fail "the plain path did not pass: $out"
  grep -q "running as $(id -un) (uid $(id -u))" <<<"$out" || fail "no 'running as $(id -un)' line: $out"
  grep -q 'PASSED.*2 tests' <<<"$out" || fail "the two cases did not run: $out"
  echo "run_as: $((failures == 0 ? 1 : 0)) passed, $failures failed"
  exit $((failures > 0))
fi

private=$(mktemp -d)
trap 'rm -rf "$private"' EXIT
chmod 0700 "$private"
mkdir -p "$private/checkout/build"
cp "$program" "$private/checkout/build/tests_core"
cp -R "$data" "$private/checkout/data"
# Nobody must really be shut out, else the test proves nothing.
if setpriv --reuid=nobody --regid=nogroup --clear-groups -- test -x "$private/checkout/build/tests_core"; then
  fail "nobody can reach $private, the test cannot show anything"
fi
runs() { find /tmp /var/tmp "${TMPDIR:-/tmp}" -maxdepth 1 -name 'quorvel-nobody.*' 2>/dev/null | sort -u; }
runs_before=$(runs)
modes() { find "$private" -printf '%m %U:%G %p\n' | sort; }
before=$(modes)

status=0
out=$(QUORVEL_TEST_DATA=$private/checkout/data \
  bash "$run_as" unprivileged "$private/checkout/build/tests_core" --gtest_filter="$filter" 2>&1) || status=$?
[ "$status" -eq 0 ] || fail "the run from a 0700 folder exited $status: $out"
grep -q 'running as nobody' <<<"$out" || fail "the program did not run as nobody: $out"
grep -q 'PASSED.*2 tests' <<<"$out" || fail "the two cases did not both pass: $out"
if grep -q 'Permission denied' <<<"$out"; then fail "a bare 'Permission denied': $out"; fi

# A damaged fixture in the copied data must fail the pinned frame tables: the run
# reads the data it was given, and the program's failure is the entry's result.
fixture=$(find "$private/checkout/data" -name '*.mp3' | sort | head -n 1)
truncate -s 1000 "$fixture"
before=$(modes)
status=0
out=$(QUORVEL_TEST_DATA=$private/checkout/data \
  bash "$run_as" unprivileged "$private/checkout/build/tests_core" --gtest_filter="$filter" 2>&1) || status=$?
[ "$status" -ne 0 ] || fail "a failing case inside gave exit 0: $out"
grep -q 'FAILED.*FrameTablePin.EveryFixtureKeepsItsFrameTable' <<<"$out" ||
  fail "the failing case is not reported: $out"

after=$(modes)
[ "$before" = "$after" ] || fail "modes under $private changed: $(diff <(echo "$before") <(echo "$after"))"
[ "$(runs)" = "$runs_before" ] || fail "run folders left behind: $(runs)"

echo "run_as: $((failures == 0 ? 1 : 0)) passed, $failures failed"
exit $((failures > 0))
