#!/usr/bin/env bash
# tools/grade where a sandbox's limit cannot be set (here: no control groups): the run stops before
# any student's code runs, unless the teacher accepts less; then each slot's processes are counted
# apart, so a fork bomb does not take its neighbour's.
#   grade_limits_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/scripts/grade_common.sh"

class=$work/weak
mkdir -p "$class"
cp "$fixtures/correct.cpp" "$fixtures/bomb.cpp" "$class/"
out=$work/out
without_cgroups() {
  timeout --foreground 200 unshare --mount sh -c 'mount -t tmpfs -o ro,size=4k none /sys/fs/cgroup && exec "$@"' sh \
    "$root/tools/grade" --reference "$root/examples/Square.cpp" "$class" --out "$out" --jobs 2 --timeout 10 "$@"
}
without_cgroups >"$work/refused.log" 2>&1
code=$?
[ $code -eq 3 ] && grep -q 'cannot be set here: memory, swap, processors' "$work/refused.log" &&
  grep -q 'pass --accept-weaker-limits' "$work/refused.log" || fail "a missing limit did not stop the run ($code)"
[ ! -e "$out/results.csv" ] || fail "a submission was graded without its limits"
without_cgroups --accept-weaker-limits >"$work/accepted.log" 2>&1 || fail "tools/grade --accept-weaker-limits exited with $?"
grep -q 'WITHOUT memory, swap, processors' "$work/accepted.log" || fail "the missing limit is not told: $(head -3 "$work/accepted.log")"
expect correct pass
expect bomb hung

grade_finish "a missing limit stops the run; accepted, the fork bomb takes only its own slot"
