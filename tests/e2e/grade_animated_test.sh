#!/usr/bin/env bash
# tools/grade with an animated reference at three scene times: the right speed passes; the wrong
# speed, a count of frames and a clock of the scene's own fail. In the same class two crash while
# being pictured, one in each slot before the others: each ends in time with its verdict, its slot
# goes on to the next, and nothing is left running.
#   grade_animated_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/e2e/grade_common.sh"

class=$work/animated
mkdir -p "$class"
# The example turned another way, twice as fast, by a count of frames (as if 60 a second), and
# by a clock of its own.
spinning=$root/examples/Spinning.cpp
sed 's/::glRotated(90.0 \* SceneTime(), 0.0, 0.0, 1.0)/::glRotatef(90.0f * float(SceneTime()), 0, 0, 1)/' \
  "$spinning" >"$class/spin_right.cpp"
sed 's/90.0 \* SceneTime()/180.0 * SceneTime()/' "$spinning" >"$class/spin_fast.cpp"
sed 's/90.0 \* SceneTime()/1.5 * Frames++/; s/^{$/{\n    static int Frames = 0;/' "$spinning" >"$class/spin_frames.cpp"
sed 's/90.0 \* SceneTime()/90.0 * OwnClock()/; s/^void TForm1::DrawScene()$/#include <chrono>\
static double OwnClock()\
{\
    static const auto Start = std::chrono::steady_clock::now();\
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();\
}\
&/' "$spinning" >"$class/spin_clock.cpp"
for f in "$class"/spin_*.cpp; do cmp -s "$f" "$spinning" && fail "$(basename "$f") was not made"; done
for i in 1 2; do cp "$fixtures/late_crash.cpp" "$class/crash$i.cpp"; done

out=$work/out
grade animated.log --reference "$spinning" --times 0,0.5,1 "$class" --out "$out" --timeout 20 --jobs 2 ||
  fail "tools/grade on the animated class exited with $?"
expect spin_right pass
expect spin_fast differs
expect spin_frames differs
expect spin_clock differs
[ "$(grep -c '^crash[0-9]*,792x573,0,crashed,,access violation' "$out/results.csv")" -eq 2 ] ||
  fail "not every crash while pictured is 'crashed' with its exception: $(grep -c '^crash' "$out/results.csv") rows"
[ "$(tr -d '\r' <"$out/results.csv" | awk -F, '$1 == "spin_right" && $9 == "" {print $3}' | sort -u | tr '\n' ' ')" = "0 0.5 1 " ] ||
  fail "results.csv has no row for each time"
grep -q '^Graded 6 submissions at 4 sizes and 4 times' "$work/animated.log" || fail "no closing summary: $(tail -1 "$work/animated.log")"

grade_finish "each speed judged at each time, every crash while pictured ended with its verdict"
