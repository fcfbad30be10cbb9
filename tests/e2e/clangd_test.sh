#!/usr/bin/env bash
# What a student's editor shows, by clangd's own check of a file with this build's compile
# commands and the project's .clangd: an example and a new exercise read without an error, with
# the frame's and OpenGL's names declared, and a misspelt OpenGL call reported at its line.
#   clangd_test.sh SOURCE_DIR BUILD_DIR        (exit 77: no clangd here, skipped)
set -uo pipefail
root=$1 build=$2
command -v clangd >/dev/null || { echo "clangd is not installed (Debian package clangd): skipped"; exit 77; }
[ -f "$build/compile_commands.json" ] || { echo "FAIL: no compile_commands.json in $build"; exit 1; }
# New exercises, made after the build as a student's are, in a folder that goes at exit.
work=$(mktemp -d "$root/exercises/.clangd-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# clangd's check of FILE, trying hover and the rest on LINE only (every token would take long).
check() {
  timeout 120 clangd --compile-commands-dir="$build" --check="$1" --check-lines="$2" --log=verbose \
    >"$work/log" 2>&1
}
errors() { sed -nE 's/.*All checks completed, ([0-9]+) errors.*/\1/p' "$work/log"; }
# Whether clangd finds the declaration of NAME on the checked line, as a hover does.
declared() {
  awk -v name="$1" '$1 ~ /^V\[/ && $3 == name { on = 1; next }
    on && /^V\[[^]]*\]   [0-9]+:[0-9]+ / { on = 0 }
    on && /definition: [1-9]/ { found = 1 }
    END { exit !found }' "$work/log"
}
line_of() { grep -n -m1 -F "$1" "$2" | cut -d: -f1; }

example=$root/examples/Spinning.cpp
line=$(line_of '::glRotated(' "$example")
check "$example" "$line"
[ "$(errors)" = 0 ] || fail "the example: $(errors) errors: $(grep '^E\[' "$work/log" | head -3)"
for name in glRotated SceneTime; do
  declared "$name" || fail "the example: no declaration found for $name"
done

# A new exercise with a misspelt call: that one error alone, at its line. NOTE: named like
# harness/Png.cpp, whose command clangd borrows and which sees none of the frame's headers: the
# exercises' rule in .clangd has to supply them, or every name of the frame's is an error too.
sed 's/::glRotated(/::glRotatedd(/' "$example" >"$work/Png.cpp"
check "$work/Png.cpp" "$line"
reported=$(grep -E '^E\[[^]]*\] \[[a-z_]+\] Line [0-9]+:' "$work/log")
if [ "$(errors)" != 1 ] || ! grep -q "Line $line: .*glRotatedd" <<<"$reported"; then
  fail "a new exercise with a misspelt call on line $line: $(errors) errors: ${reported:-$(tail -3 "$work/log")}"
fi
declared SceneTime || fail "a new exercise: no declaration found for SceneTime"

[ $failures -eq 0 ] && echo "clangd reads the example and a new exercise cleanly and reports the misspelt call at line $line"
exit $((failures > 0))
