#!/usr/bin/env bash
# tools/grade on a class of fixtures, one for each way a submission goes: each gets its verdict,
# no student's code reaches a file outside its sandbox, nothing is left running, and the report
# shows every picture in a real browser. Bad usage is told with exit code 2.
#   grade_test.sh SOURCE_DIR
set -uo pipefail
root=$1
fixtures=$root/tests/grade
# In the build folder, beside what the sandbox is shown of it: a leak there would be found.
# Open to all, so that only the sandbox keeps its files from a submission.
work=$(mktemp -d -p "${BUILD_DIR:?the build folder}")
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
. "$root/tests/scripts/grade_left.sh"
grade() { "$root/tools/grade" "$@"; }

# Bad usage first: nothing is built for it.
expect_usage() {
  local message status
  message=$(grade "${@:2}" 2>&1)
  status=$?
  [ $status -eq 2 ] && grep -q -- "$1" <<<"$message" || fail "'${*:2}' gave $status: $message"
}
mkdir -p "$work/empty"
expect_usage 'no folder of submissions' --reference "$root/examples/Square.cpp" "$work/none"
expect_usage "--sizes takes WxH" --reference "$root/examples/Square.cpp" --sizes 800by600 "$work/empty"
expect_usage 'no pictures named by size' --reference "$work/empty" "$work/empty"
expect_usage 'the reference' --reference "$fixtures/broken.cpp" "$work/empty"

# The class: every fixture, a correct one under a name with a space, a non-ASCII letter, markup
# and shell characters, and a file that is not a scene.
class=$work/class outside=$work/outside
mkdir -p "$class" "$outside"
cp "$fixtures"/{correct,distorted,broken,null,forever,throws,greedy,peek,garbled,filler,bomb,spinner,xtalk}.cpp "$class/"
odd="Zoë <i>O'Brien; \$(touch pwned)"
cp "$fixtures/correct.cpp" "$class/$odd.cpp"
echo "read me" >"$class/notes.txt"
echo "the teacher's" >"$outside/secret.txt"
touch -d '2020-01-01' "$outside/secret.txt"
# Windows paths of the host's files, as the program sees them through drive Z:.
z() { printf 'Z:%s' "$1" | sed 's|/|\\\\\\\\|g'; }
# A port the host listens on, which a sandbox with the network could reach.
exec {listener}< <(exec python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8); print(s.getsockname()[1], flush=True)
time.sleep(900)')
listener_pid=$!
trap 'kill $listener_pid; rm -rf "$work"' EXIT
read -r port <&"$listener"
sed -e "s|@SECRET@|$(z "$outside/secret.txt")|" -e "s|@OTHER@|$(z "$class/correct.cpp")|" \
  -e "s|@WRITE@|$(z "$outside/escaped.txt")|" -e "s|@PORT@|$port|" "$fixtures/snoop.cpp" >"$class/snoop.cpp"
grep -q 'Z:\\\\' "$class/snoop.cpp" || fail "the paths did not go into snoop.cpp"

# What runs before: a process of a sandbox's user, or one left to init, that is new after the
# runs was left by them.
processes=$(ps -e -o pid= | sort)
out=$work/out
(cd "$work" && timeout 600 "$root/tools/grade" --reference "$root/examples/Square.cpp" "$class" --out "$out" --timeout 20 --jobs 2) \
  >"$work/grade.log" 2>&1
status=$?
[ $status -eq 0 ] || fail "tools/grade exited with $status"

verdict_of() { awk -F, -v s="$1" 'NR > 1 && $1 == s {print $4; exit}' "$out/results.csv"; }
expect() {
  local got
  got=$(verdict_of "$1")
  [ "$got" = "$2" ] || fail "$1: '$got', not '$2'"
}
expect correct pass
expect distorted differs
expect broken "does not compile"
expect null crashed
expect forever hung
expect throws "error box"
expect greedy crashed
expect snoop pass
expect peek "does not compile"
expect filler pass
expect garbled "error box"
expect bomb hung
expect spinner pass
expect xtalk pass
grep -q "^bomb,.*limit of 256 processes" "$out/results.csv" || fail "the process limit is not named"
grep -q "^garbled,792x573,0,error box,,\"'=HYPERLINK" "$out/results.csv" || fail "a formula reached results.csv as one"
grep -q '^peek,.*Scene.cpp: No such file' "$out/results.csv" || fail "a source file beside the headers was in reach"
grep -q $'\x1b' "$work/grade.log" "$out/results.csv" && fail "terminal escapes reached the terminal or results.csv"
grep -qF "$odd,792x573,0,pass," "$out/results.csv" || fail "the odd name is not in results.csv as it is"
grep -q "^throws,.*The scene is not written yet" "$out/results.csv" || fail "the error box's text is not reported"
grep -q "^greedy,.*memory limit" "$out/results.csv" || fail "the memory limit is not named"
grep -q "^broken,.*broken.cpp:[0-9]*:[0-9]*: error" "$out/results.csv" || fail "no compiler message with file and line"
[ "$(grep -c '^distorted,' "$out/results.csv")" -eq 3 ] || fail "not one row per size"
grep -q 'ignored: notes.txt' "$work/grade.log" || fail "notes.txt is not listed as ignored"
grep -Eq '^grade: each sandbox: memory 1024 MiB, no swap, 256 processes, [0-9.]+ processors? \([0-9.]+ in all, of [0-9]+\), disk 256 MiB, /tmp 256 MiB, files 256 MiB each, 20 s a step;' "$work/grade.log" ||
  fail "the limits in force are not read back and told: $(grep 'each sandbox' "$work/grade.log")"
grep -q '^Graded 15 submissions at 3 sizes' "$work/grade.log" || fail "no closing summary"

# An animated reference at three scene times: the right speed passes; the wrong speed, a frame
# count and a clock of the scene's own fail. And a class where many crash while being pictured:
# every one ends in time with its verdict (X clients waiting on such a window once hung the run).
animated=$work/animated
mkdir -p "$animated"
# The example turned another way, twice as fast, by a count of frames (as if 60 a second), and
# by a clock of its own.
spinning=$root/examples/Spinning.cpp
sed 's/::glRotated(90.0 \* SceneTime(), 0.0, 0.0, 1.0)/::glRotatef(90.0f * float(SceneTime()), 0, 0, 1)/' \
  "$spinning" >"$animated/spin_right.cpp"
sed 's/90.0 \* SceneTime()/180.0 * SceneTime()/' "$spinning" >"$animated/spin_fast.cpp"
sed 's/90.0 \* SceneTime()/1.5 * Frames++/; s/^{$/{\n    static int Frames = 0;/' "$spinning" >"$animated/spin_frames.cpp"
sed 's/90.0 \* SceneTime()/90.0 * OwnClock()/; s/^void TForm1::DrawScene()$/#include <chrono>\
static double OwnClock()\
{\
    static const auto Start = std::chrono::steady_clock::now();\
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();\
}\
&/' "$spinning" >"$animated/spin_clock.cpp"
for f in "$animated"/spin_*.cpp; do cmp -s "$f" "$spinning" && fail "$(basename "$f") was not made"; done
for i in $(seq -w 20); do cp "$fixtures/late_crash.cpp" "$animated/crash$i.cpp"; done
(cd "$work" && timeout 600 "$root/tools/grade" --reference "$root/examples/Spinning.cpp" --times 0,0.5,1 "$animated" --out "$out-animated" \
  --timeout 20 --jobs 2) >"$work/animated.log" 2>&1 || fail "tools/grade on the animated class exited with $?"
out=$out-animated
expect spin_right pass
expect spin_fast differs
expect spin_frames differs
expect spin_clock differs
[ "$(grep -c '^crash[0-9]*,792x573,0,crashed,,access violation' "$out/results.csv")" -eq 20 ] ||
  fail "not every crash while pictured is 'crashed' with its exception: $(grep -c '^crash' "$out/results.csv") rows"
[ "$(awk -F, '$1 == "spin_right" {print $3}' "$out/results.csv" | sort -u | tr '\n' ' ')" = "0 0.5 1 " ] ||
  fail "results.csv has no row for each time"
grep -q '^Graded 24 submissions at 3 sizes and 3 times' "$work/animated.log" || fail "no closing summary: $(tail -1 "$work/animated.log")"
out=$work/out

# Where a limit cannot be set (here: no control groups), the run stops before any student's
# code runs, unless the teacher accepts less; then each slot's processes are counted apart, so
# a fork bomb does not take its neighbour's.
weak=$work/weak
mkdir -p "$weak"
cp "$fixtures/correct.cpp" "$fixtures/bomb.cpp" "$weak/"
without_cgroups() {
  timeout --foreground 200 unshare --mount sh -c 'mount -t tmpfs -o ro,size=4k none /sys/fs/cgroup && exec "$@"' sh \
    "$root/tools/grade" --reference "$root/examples/Square.cpp" "$weak" --out "$out-weak" --jobs 2 --timeout 10 "$@"
}
without_cgroups >"$work/weak.log" 2>&1
code=$?
[ $code -eq 3 ] && grep -q 'cannot be set here: memory, swap, processors' "$work/weak.log" && grep -q 'pass --accept-weaker-limits' "$work/weak.log" ||
  fail "a missing limit did not stop the run ($code): $(cat "$work/weak.log")"
[ ! -e "$out-weak/results.csv" ] || fail "a submission was graded without its limits"
without_cgroups --accept-weaker-limits >"$work/weak.log" 2>&1 || fail "tools/grade --accept-weaker-limits exited with $?"
grep -q 'WITHOUT memory, swap, processors' "$work/weak.log" || fail "the missing limit is not told: $(head -3 "$work/weak.log")"
out=$out-weak
expect correct pass
expect bomb hung
out=$work/out

# Nothing got out, nothing was run by the name, nothing is left running.
[ ! -e "$outside/escaped.txt" ] || fail "a submission wrote outside its sandbox"
[ "$(cat "$outside/secret.txt")" = "the teacher's" ] || fail "the file outside changed"
[ "$(find "$work" -name pwned | wc -l)" -eq 0 ] || fail "a name was run as a command"
sleep 0.5
left=$(grade_left_behind "$processes"; ls -d /sys/fs/cgroup/*/tutorial-grade-* /sys/fs/cgroup/tutorial-grade-* 2>/dev/null)
[ -z "$left" ] || fail "left behind: $left"
[ -z "$(ls "$BUILD_DIR/grade-work" 2>/dev/null)" ] || fail "the work folder was left: $(find "$BUILD_DIR/grade-work" -maxdepth 4 | head -5)"

# The report as a browser shows it: every picture loads, every verdict is there.
dom=$(timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/chromium" --virtual-time-budget=5000 --dump-dom "file://$out/report.html" 2>/dev/null)
grep -q 'data-broken="0"' <<<"$dom" || fail "pictures missing in the report: $(grep -o 'data-[a-z]*="[0-9]*"' <<<"$dom")"
pictures=$(grep -o 'data-pictures="[0-9]*"' <<<"$dom" | tr -dc 0-9)
[ "${pictures:-0}" -ge 27 ] || fail "the report shows ${pictures:-no} pictures"
for verdict in pass differs "does not compile" crashed hung "error box"; do
  grep -q "class=\"verdict\">$verdict<" <<<"$dom" || fail "the report does not show '$verdict'"
done
grep -qF "Zoë &lt;i&gt;O'Brien; \$(touch pwned)" <<<"$dom" || fail "the odd name is not shown as it is"

if [ $failures -ne 0 ]; then
  echo "--- tools/grade said:"
  cat "$work/grade.log" "$work/animated.log" "$work/weak.log"
  exit 1
fi
echo "every verdict right, nothing escaped, the report complete"
