#!/usr/bin/env bash
# tools/grade where a sandbox's limits cannot be set (here: no control groups, and no seccomp module
# to compile the system call filter with): the run stops before any student's code runs, unless
# the teacher accepts less; then each slot's processes are counted apart, so a fork bomb does not
# take its neighbour's.
#   grade_limits_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/e2e/grade_common.sh"

class=$work/weak
mkdir -p "$class"
cp "$fixtures/correct.cpp" "$fixtures/bomb.cpp" "$class/"
out=$work/out
module=$(timeout 60 /usr/bin/python3 -c 'import seccomp; print(seccomp.__file__)') || fail "no seccomp module to hide"
without_limits() {
  timeout --foreground 200 unshare --mount sh -c 'mount -t tmpfs -o ro,size=4k none /sys/fs/cgroup &&
    mount --bind /dev/null "$0" && exec "$@"' "$module" \
    "$root/tools/grade" --reference "$root/examples/Square.cpp" "$class" --out "$out" --jobs 2 --timeout 20 "$@"
}
without_limits >"$work/refused.log" 2>&1
code=$?
[ $code -eq 3 ] && grep -q 'cannot be set here: memory, swap, processors, system call filter' "$work/refused.log" &&
  grep -q 'pass --accept-weaker-limits' "$work/refused.log" || fail "a missing limit did not stop the run ($code)"
[ ! -e "$out/results.csv" ] || fail "a submission was graded without its limits"
without_limits --accept-weaker-limits >"$work/accepted.log" 2>&1 || fail "tools/grade --accept-weaker-limits exited with $?"
grep -q 'WITHOUT memory, swap, processors, system call filter' "$work/accepted.log" ||
  fail "the missing limits are not told: $(head -3 "$work/accepted.log")"
expect correct pass
expect bomb hung

grade_finish "a missing limit stops the run; accepted, the fork bomb takes only its own slot"
