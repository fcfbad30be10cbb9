# shellcheck shell=bash
# Sourced by the scripts that grade a class with tools/grade and check what each submission got:
# the work folder, failures, the verdicts of results.csv and what a run must not leave.
#   . grade_common.sh    with root set to the source folder

fixtures=$root/tests/grade
# In the build folder, beside what the sandbox is shown of it: a leak there would be found.
# Open to all, so that only the sandbox keeps its files from a submission.
work=$(mktemp -d -p "${BUILD_DIR:?the build folder}")
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
. "$root/tests/scripts/grade_left.sh"
# A process of a sandbox's user, or one left to init, that was not running before was left by
# the runs.
processes=$(ps -e -o pid= | sort)

# tools/grade from the work folder, with a time limit: grade LOG ARGS...
grade() { (cd "$work" && timeout 600 "$root/tools/grade" "${@:2}") >"$work/$1" 2>&1; }
# The verdict of submission $1 in $out/results.csv, which must be $2.
expect() {
  local got
  got=$(awk -F, -v s="$1" 'NR > 1 && $1 == s {print $4; exit}' "$out/results.csv")
  [ "$got" = "$2" ] || fail "$1: '$got', not '$2'"
}

# Nothing that was not running before the runs (PROCESSES) is left running or mounted within
# 10 s; with --groups, nor a control group (a killed grader leaves them for the next run).
grade_nothing_left() {
  local left
  for _ in $(seq 100); do
    left=$(grade_left_behind "$processes"
      [ "${2:-}" != --groups ] || ls -d /sys/fs/cgroup/*/tutorial-grade-* /sys/fs/cgroup/tutorial-grade-* 2>/dev/null)
    [ -z "$left" ] && break
    sleep 0.1
  done
  [ -z "$left" ] || fail "$1 left: $left"
}

# Nothing left running, mounted, in a control group or in the work folder; the logs if anything
# failed.
grade_finish() {
  grade_nothing_left "the runs" --groups
  [ -z "$(ls "$BUILD_DIR/grade-work" 2>/dev/null)" ] || fail "the work folder was left: $(find "$BUILD_DIR/grade-work" -maxdepth 4 | head -5)"
  if [ $failures -ne 0 ]; then
    echo "--- tools/grade said:"
    cat "$work"/*.log
    exit 1
  fi
  echo "$1"
}
