#!/usr/bin/env bash
# tools/grade against what a submission makes for the host to read: a flood of output, its
# pictures folder swapped for a link, a submission that is a link to a file only root may read, a name that is not UTF-8. Each gets its verdict while
# the grader's memory stays small. Then signals mid-class, SIGKILL included: nothing is left
# running, and the next run removes what a killed grader left and grades.
#   grade_host_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/e2e/grade_common.sh"
. "$root/tests/e2e/x11-helpers.sh" # wait_exit
# The same path names one folder on the host and another in a sandbox's own /tmp.
lure=$(mktemp -d /tmp/lure.XXXXXX)
trap 'rm -rf "$work" "$lure"' EXIT
PEAK_LIMIT_KIB=$((160 << 10))      # the grader's own memory, at its highest

# The expected pictures, which are the reference and what the lure's link leads to on the host.
# Taken on a display of capture's own, as a tool run outside the suite's session takes them (its
# Wine server joined): the suite's display stays free for the tests of windows and keys.
timeout 120 env -u TUTORIAL_WINE_SESSION "$root/tools/capture" --no-build --sizes 792x573,960x400,400x720 --times 0 --out "$lure/" \
  "$BUILD_DIR/drivers/Square.exe" >"$work/capture.log" 2>&1 || fail "no reference pictures: $(cat "$work/capture.log")"

class=$work/class
mkdir -p "$class"
cp "$fixtures/flood.cpp" "$class/"
sed "s|@LURE@|$lure|g" "$fixtures/lure.cpp" >"$class/lure.cpp"
latin1=$(printf 'M\xfcller')
cp "$fixtures/correct.cpp" "$class/$latin1.cpp"
echo "the teacher's private key" >"$work/private.txt"
chmod 600 "$work/private.txt"
ln -s "$work/private.txt" "$class/link.cpp"

# The grader of the tools/grade with process id PID: its child. (Another checkout's may run too.)
grader_of() { [ -n "$1" ] && pgrep -P "$1" -f 'tutor.grade.run --build'; }

# The peak memory (VmHWM) of the grader under timeout's process TOOL, read from /proc until it ends.
# (The grader found once: a search of every process each tenth of a second took seconds of
# processor from the other tests.)
grader_peak() {
  local tool=$1 peak=0 grader="" key kib
  while kill -0 "$tool" 2>/dev/null; do
    [ -n "$grader" ] || grader=$(grader_of "$(pgrep -P "$tool")")
    if [ -n "$grader" ]; then
      while read -r key kib _; do
        [ "$key" != VmHWM: ] || [ "$kib" -le "$peak" ] || peak=$kib
      done 2>/dev/null <"/proc/$grader/status"
    fi
    sleep 0.1
  done
  echo "$peak"
}

out=$work/out
# More sandboxes than this machine has cores: each gets a share, and the shares add up to them.
timeout 300 "$root/tools/grade" --reference "$lure" "$class" --out "$out" --jobs 4 --timeout 20 >"$work/grade.log" 2>&1 &
tool=$!
peak=$(grader_peak $tool)
wait $tool || fail "tools/grade exited with $?"
[ "$peak" -gt 0 ] && [ "$peak" -le $PEAK_LIMIT_KIB ] || fail "the grader's memory peaked at $((peak >> 10)) MiB"
echo "the grader's memory peaked at $((peak >> 10)) MiB"

expect_detail() {
  local got
  got=$(awk -F, -v s="$1" 'NR > 1 && $1 == s && $2 == "792x573" {print}' "$out/results.csv")
  [[ $got == "$1,792x573,0,$2,"* ]] && grep -q -- "$3" <<<"$got" || fail "$1: '$got', not '$2' with '$3'"
}
expect_detail flood "too much output" "more than 64 MiB"
expect_detail lure "bad picture" "its pictures folder is a symbolic link"
expect_detail link "not a regular file" "symbolic link"
expect_detail "M�ller" pass ""
grep -rq "private key" "$work/grade.log" "$out" && fail "the linked file was read"
grep -q "M�ller" "$out/report.html" || fail "the name is not in the report"
limits=$(grep '^grade: each sandbox' "$work/grade.log")
cores=$(nproc)
[[ $limits == *", no swap, "*", $(python3 -c "print('%g' % round($cores / 4, 2))") processor"*" ($cores in all, of $cores)"* ]] ||
  fail "no swap and the processors' shares are not proved: $limits"

# A signal with a class under way (a submission that never returns is running). SIGTERM to
# tools/grade (SIGHUP and Ctrl+C take the same way: Tutor.signals), or SIGKILL (its grader then ends as on SIGTERM): the run ends at once
# and reports what it had graded. SIGKILL to the grader itself: its sandboxes and disks go with
# it, and the next run removes the control groups and the work folder it left, told by the killed
# run's id (PID.START). Either way, nothing is left running or mounted.
stopped=$work/stopped
mkdir -p "$stopped"
# a is graded at once (it does not compile), b and c never return.
cp "$fixtures/broken.cpp" "$stopped/a.cpp"
cp "$fixtures/forever.cpp" "$stopped/b.cpp"
cp "$fixtures/forever.cpp" "$stopped/c.cpp"
stop_mid_class() {
  local signal=$1 target=$2 log=$work/$1-$2.log processes tool grader servers pid left code count
  count=$(find "$stopped" -name '*.cpp' | wc -l)
  processes=$(ps -e -o pid= | sort)
  "$root/tools/grade" --reference "$lure" "$stopped" --out "$out-$signal-$target" --jobs 2 --timeout 60 >"$log" 2>&1 &
  tool=$!
  # Once a is graded, the others run side by side, each on an X server of its own: its user's, in
  # its control group, without shared memory. (Which of them compiles first depends on the
  # machine's load.)
  for _ in $(seq 600); do grep -q "^\[1/$count\]" "$log" && break; sleep 0.1; done
  for _ in $(seq 300); do
    servers=$(grade_x_servers "$tool")
    [ "$(wc -w <<<"$servers")" -lt $((count - 1)) ] || break
    sleep 0.1
  done
  [ "$(wc -w <<<"$servers")" -eq $((count - 1)) ] || fail "not one X server a sandbox: $servers"
  for pid in $servers; do
    [ "$(ps -o uid= -p "$pid")" -ge 64000 ] && grep -q tutorial-grade- "/proc/$pid/cgroup" &&
      grep -qa 'MIT-SHM' "/proc/$pid/cmdline" || fail "an X server outside its sandbox: $(ps -o uid=,args= -p "$pid")"
  done
  # This run's grader, tools/grade's child: another worktree's may be running too.
  grader=$(grader_of $tool)
  [ -n "$grader" ] || fail "no grader under tools/grade"
  if [ "$target" = grader ]; then
    killed=$grader
    kill -"$signal" $grader
  else
    kill -"$signal" $tool
  fi
  wait_exit $tool 15
  code=$?
  [ $code -ne 255 ] || { kill -KILL $tool; fail "SIG$signal to the $target: tools/grade still runs 15 s later"; }
  # A killed tools/grade does not wait for its grader, which ends the run and reports.
  for _ in $(seq 150); do kill -0 "$grader" 2>/dev/null || break; sleep 0.1; done
  if [ "$signal" != KILL ]; then
    [ $code -eq $((128 + $(kill -l "$signal"))) ] || fail "SIG$signal ended tools/grade with $code: $(tail -2 "$log")"
  fi
  if [ "$target" = script ]; then
    grep -q "The run was interrupted: 1 of $count" "$out-$signal-$target/report.html" ||
      fail "no report of what was graded before SIG$signal: $(tail -2 "$log")"
  fi
  grade_nothing_left "SIG$signal to the $target"
}
killed=none
stop_mid_class TERM script
# One running is enough to be killed with.
rm "$stopped/c.cpp"
stop_mid_class KILL script
stop_mid_class KILL grader
rm "$stopped/b.cpp"
cp "$fixtures/correct.cpp" "$stopped/a.cpp"
timeout 120 "$root/tools/grade" --reference "$lure" "$stopped" --out "$out-after" --jobs 1 >"$work/after.log" 2>&1 ||
  fail "the run after exited with $?"
# NOTE: the groups are the machine's: a run of another checkout that starts first removes them
# (grade_finish then finds none of them left); the work folder is this build's alone.
grep -Eq "^grade: removed what run $killed\.[0-9]+, which was killed, left: (2 control groups, )?1 work folder\$" "$work/after.log" ||
  fail "what the killed run left is not told: $(head -3 "$work/after.log")"
grep -q '^a,792x573,0,pass' "$out-after/results.csv" || fail "the run after did not grade"
grade_finish "each hostile output has its verdict, the grader stayed small, a killed run left nothing running"
