#!/usr/bin/env bash
# tools/grade against a reference of thin lines, with its defaults: the honest scene passes; a scene
# that draws right only at the sizes handed out (as one replaying the handed-out pictures does)
# fails at the size held back for the run, where it only clears: the lines' tolerance is not met
# by a blank picture.
#   grade_held_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/e2e/grade_common.sh"

class=$work/held
mkdir -p "$class"
cp "$fixtures/axes.cpp" "$class/honest.cpp"
cp "$fixtures/replay.cpp" "$class/"
out=$work/out
grade held.log --reference "$fixtures/axes.cpp" "$class" --out "$out" --timeout 20 --jobs 2 ||
  fail "tools/grade exited with $?"
expect honest pass
expect replay differs
held=$(sed -n 's/^grade: held back from students: \([0-9]*x[0-9]*\) (--draw [0-9]* draws them again)$/\1/p' "$work/held.log")
[ -n "$held" ] || fail "the held-back size is not told: $(grep -m1 held "$work/held.log")"
# The replay is right wherever it was told to look, and only there. (CSV lines end in CR LF.)
replay=$(grep '^replay,' "$out/results.csv" | tr -d '\r')
[ "$(awk -F, '$5 == 0 && $9 == "" {n++} END {print n}' <<<"$replay")" = 3 ] &&
  grep -q "^replay,$held,0,differs,[1-9][0-9]*,.*,yes\$" <<<"$replay" ||
  fail "the replay is not caught at the held-back size alone: $replay"
grep -q "held back from students, drawn for this run: $held" "$out/report.html" || fail "the report does not say what was held back"

grade_finish "only a scene that draws passes, whatever it was shown"
