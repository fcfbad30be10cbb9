# shellcheck shell=bash
# Sourced by the scripts that grade a class with tools/grade and check what each submission got:
# the work folder, failures, the verdicts of results.csv and what a run must not leave.
#   . grade_common.sh    with root set to the source folder

fixtures=$root/tests/e2e/scenes
. "$root/tests/e2e/own.sh"
# In the build folder, beside what the sandbox is shown of it: a leak there would be found.
# Open to all, so that only the sandbox keeps its files from a submission.
work=$(mktemp -d -p "${BUILD_DIR:?the build folder}")
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Whether process $1 descends from process $2.
descends() {
  local pid=$1
  while [ "$pid" -gt 1 ]; do
    [ "$pid" = "$2" ] && return 0
    pid=$(awk '{print $4}' "/proc/$pid/stat" 2>/dev/null) || return 1
    [ -n "$pid" ] || return 1
  done
  return 1
}

# The graders this run starts, by process id, recorded as each takes its lock (ID.lock, the ID
# starting with its process id): a sandbox's environment is cleared, so what is this run's there
# is told by its control group, named by its grader. Told by inotify, not by looking at every
# process ten times a second, which took a grading test a tenth of its processor time.
locks=$(PYTHONPATH="$root/tools" timeout 10 python3 -c 'from tutor.grade.sandbox.leftovers import LOCKS; print(LOCKS)')
mkdir -m 700 "${locks:?no lock folder from tutor.grade}" 2>/dev/null || [ -d "$locks" ] ||
  { echo "FAIL: cannot make $locks"; exit 1; }
mkfifo "$work/locks.made"
(
  timeout 3600 inotifywait -m -e create --format %f "$locks" >"$work/locks.made" 2>"$work/locks.said" &
  watcher=$!
  # Gone with this run's shell.
  tail --pid=$$ -s 0.2 -f /dev/null
  kill $watcher
) >/dev/null 2>&1 &
# (Neither holds this run's output: a runner that reads it to its end before it reaps the run would
# wait for them, and they for the run to be gone.)
while read -r name; do ! marked "${name%%.*}" || echo "${name%%.*}"; done <"$work/locks.made" >>"$work/graders" 2>/dev/null &
for _ in $(seq 300); do grep -q '^Watches established' "$work/locks.said" 2>/dev/null && break; sleep 0.1; done
grep -q '^Watches established' "$work/locks.said" || { echo "FAIL: inotifywait did not watch $locks"; exit 1; }
own_graders() { sort -u "$work/graders" 2>/dev/null | paste -sd '|'; }
# This run's processes, by id, a line each: those that carry the mark, and those in a control
# group of its graders (GRADERS, as own_graders gives them). Two reads of /proc in all: a busy
# machine has hundreds of processes, and starting a command for each takes seconds there.
own_processes() {
  own_pids
  [ -z "$1" ] || grep -lE "tutorial-grade-($1)[.-]" /proc/[0-9]*/cgroup 2>/dev/null | cut -d/ -f3
}
# Whether process $1 is among the processes $2 (own_processes).
among() { [[ $'\n'$2$'\n' == *$'\n'$1$'\n'* ]]; }

# This run's sandboxes' X servers running now, by process id: each has a key file (-auth); the
# Wine session's own display, of the same size, has none. With ANCESTOR, only those it started.
grade_x_servers() {
  local pid mine
  mine=$(own_processes "$(own_graders)")
  for pid in $(pgrep -x Xvfb); do
    among "$pid" "$mine" && tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -q -- '1920x1200x24 .*-auth ' &&
      { [ -z "${1:-}" ] || descends "$pid" "$1"; } && echo "$pid"
  done
}

# What this run's tools/grade left running or mounted since the process list PROCESSES
# (ps -e -o pid= | sort) was taken, a line each: nothing when they left nothing.
grade_left_behind() {
  local pid owner graders mine new
  graders=$(own_graders)
  mine=$(own_processes "$graders")
  ps -C bwrap -o pid=,stat=,args= | while read -r pid owner; do
    [[ $owner == Z* ]] || ! among "$pid" "$mine" || echo "$pid $owner"
  done
  grade_x_servers | sed "s/^/a sandbox's display: /"
  [ -z "$graders" ] || grep -E " [^ ]*/grade-work/($graders)[./ ]" /proc/mounts
  # A sandbox's user's, or one of grading's left to init. (The Wine session's services outlive
  # it by design.)
  new=$(comm -13 <(echo "$1") <(ps -e -o pid= | sort) | tr -d ' ' | paste -sd ,)
  [ -z "$new" ] || ps -o pid=,ppid=,uid=,stat=,args= -p "$new" |
    awk '$4 !~ /^Z/ && (($2 == 1 && /grade|bwrap|Xvfb|wine|\.exe/) || $3 >= 64000) && !/C:\\windows\\system32\\|wineserver/' |
    while read -r pid owner; do
      ! among "$pid" "$mine" || echo "$pid $owner"
    done
  return 0
}

# A process of this run's that was not running before was left by it.
processes=$(ps -e -o pid= | sort)

# tools/grade from the work folder, with a time limit: grade LOG ARGS...
grade() { (cd "$work" && timeout 600 "$root/tools/grade" "${@:2}") >"$work/$1" 2>&1; }
# The verdict of submission $1 in $out/results.csv, which must be $2.
expect() {
  local got
  got=$(awk -F, -v s="$1" 'NR > 1 && $1 == s {print $4; exit}' "$out/results.csv")
  [ "$got" = "$2" ] || fail "$1: '$got', not '$2'"
}

# Nothing of this run's that was not running before the runs (PROCESSES) is left running or
# mounted within 10 s; with --groups, nor a control group of its graders' (a killed grader leaves
# them for the next run).
grade_nothing_left() {
  local left graders
  for _ in $(seq 100); do
    graders=$(own_graders)
    left=$(grade_left_behind "$processes"
      [ "${2:-}" != --groups ] || [ -z "$graders" ] ||
        ls -d /sys/fs/cgroup/*/tutorial-grade-* /sys/fs/cgroup/tutorial-grade-* 2>/dev/null | grep -E "/tutorial-grade-($graders)[.-]")
    [ -z "$left" ] && break
    sleep 0.1
  done
  [ -z "$left" ] || fail "$1 left: $left"
}

# Nothing left running, mounted, in a control group or in the work folder; the logs if anything
# failed.
grade_finish() {
  # Else what the runs left would go unseen.
  [ -s "$work/graders" ] || fail "no grader of this run's was seen taking its lock"
  grade_nothing_left "the runs" --groups
  local grader left
  for grader in $(sort -u "$work/graders" 2>/dev/null); do
    # A run's work folder is named by its id: the grader's process id and its start time.
    left=$(find "$BUILD_DIR/grade-work" -mindepth 1 -maxdepth 1 \( -name "$grader" -o -name "$grader.*" \) 2>/dev/null)
    [ -z "$left" ] || fail "the work folder was left: $(find $left -maxdepth 3 | head -5)"
  done
  if [ $failures -ne 0 ]; then
    echo "--- tools/grade said:"
    cat "$work"/*.log
    exit 1
  fi
  echo "$1"
}
