#!/usr/bin/env bash
# tools/capture --explain on scenes that each go wrong in one way (scenes/explain/): each finding
# at its line, in the student's words; the honest scenes get none. One program start a scene.
#   explain_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1 root=$2
work=$build/tests/explain
mkdir -p "$work"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# explain EXE: what capture --explain printed besides its pictures, in $said.
explain() {
  said=$("$root/tools/capture" --no-build --explain --size 640x480 --out "$work/shot.png" "$1" 2>&1) ||
    fail "$1: capture failed: $said"
  said=$(grep -v -e '^Saved ' -e '^note: ' <<<"$said")
}

scenes=tests/e2e/scenes/explain
expect() { # SCENE LINE...: the findings of SCENE, all of them, in order
  local scene=$1
  shift
  explain "$build/drivers/Explain_$scene.exe"
  local wanted
  wanted=$(printf '%s\n' "$@")
  [ "$said" = "$wanted" ] || fail "$scene said:
$said
instead of:
$wanted"
}

expect enum "$scenes/enum.cpp:9: gl-error: glEnable(0x1234): GL_INVALID_ENUM, not a capability"
expect inside "$scenes/inside.cpp:11: gl-error: glMatrixMode(GL_MODELVIEW): GL_INVALID_OPERATION, not allowed between glBegin (line 9) and glEnd"
# At 640x480 the shorter side spans -3..3, the longer -4..4.
expect far "$scenes/far.cpp:11: outside-view: glRectf(-1, -1, 1, 1) lies at x 9..11, y -1..1; the view shows x -4..4, y -3..3"
expect white "$scenes/white.cpp:11: clear-colour: glRectf(-1, -1, 1, 1) is drawn in (1, 1, 1), the colour glClear cleared the frame to: nothing drawn shows"
expect clears "$scenes/clears.cpp:6: nothing-drawn: DrawScene draws nothing in this frame: its calls (glClear) make no shape; one takes glBegin, its vertices and glEnd, or glRect"
expect unended "$scenes/unended.cpp:9: no-end: glBegin(GL_LINES) has no glEnd in this frame: GL takes no other call until it ends, and draws nothing of it"
expect culled \
  "$scenes/culled.cpp:12: culled: glBegin(GL_TRIANGLES) is culled: its corners run clockwise on the screen, so GL takes it for a back face, and GL_CULL_FACE removes back faces" \
  "$scenes/culled.cpp:18: zero-area: glRectf(-1, 1, -1, 2) has no area on the screen: its corners lie on one line" \
  "$scenes/culled.cpp:19: gl-error: glPushMatrix(): GL_STACK_OVERFLOW, the stack is full" \
  "$scenes/culled.cpp:25: depth-stale: glRectf(-0.5, -0.5, 0.5, 0.5) is depth-tested against what earlier frames left: GL_DEPTH_TEST is on and this frame does not clear the depth buffer (glClear(GL_DEPTH_BUFFER_BIT))" \
  "$scenes/culled.cpp:19: matrix-stack: glPushMatrix() has no glPopMatrix in this frame: the modelview stack grows every frame until it overflows" \
  "$scenes/culled.cpp:22: projection: the scene changes the projection and leaves it changed: each frame starts from the last one's, so the view moves from frame to frame (glLoadIdentity first, or leave the projection to the frame)"
# A shader scene's mistakes: GL's own words on an error, and what draws as no one meant
# without any error.
expect shaders \
  "$scenes/shaders.cpp:12: gl-error: glBindBuffer(0x1234, 0): GL_INVALID_ENUM, a name it does not take (GL: target 0x1234)" \
  "$scenes/shaders.cpp:14: gl-error: glUniform4f(-1, 1, 0, 0, 1) does nothing: location -1 is no uniform, and GL ignores the call without an error; glGetUniformLocation(1, \"Color\") (line 14) gave -1: the program has no active uniform of that name (misspelt, or unused by its shaders and so removed)" \
  "$scenes/shaders.cpp:16: gl-error: glDrawArrays(GL_TRIANGLES, 0, 3): the program's attribute \"Position\" (location 0) has no array enabled in the bound vertex array (glEnableVertexAttribArray): every vertex gets the same value" \
  "$scenes/shaders.cpp:18: gl-error: glDrawArrays(GL_TRIANGLES, 0, 3): no vertex array is bound (glBindVertexArray), so the program's attribute \"Position\" (location 0) reads no array: every vertex gets the same value" \
  "$scenes/shaders.cpp:20: gl-error: glDrawArrays(GL_TRIANGLES, 0, -3): GL_INVALID_VALUE, a number out of its range" \
  "$scenes/shaders.cpp:22: gl-error: glDrawArrays(GL_TRIANGLES, 0, 3) draws with no program in use (glUseProgram before it): GL draws its vertex arrays with the fixed pipeline, not with the scene's shaders"

# The examples, the shipped empty scene and a shader scene done right draw what they mean to.
for exe in Square Triangle Spinning Tutorial Explain_modern; do
  explain "$build/drivers/$exe.exe"
  [ "$said" = "No findings: the scene's GL calls show nothing wrong." ] || fail "$exe said: $said"
done
# An error a scene raised and never read is not the driver's: its first frame still reads back
# (the watch loop's --restart shows it), and the program goes on until it is ended.
first=$work/first.png
rm -f "$first"
"${WINE:-wine}" "$build/drivers/Explain_enum.exe" --first-frame \
  "$(/usr/bin/python3 "$root/tools/tutor/contract.py" windows-path "$first")" >"$work/first.log" 2>&1 &
pid=$!
for _ in $(seq 600); do
  { [ -s "$first" ] || ! kill -0 "$pid" 2>/dev/null; } && break
  sleep 0.1
done
[ -s "$first" ] || fail "no first frame of a scene with an error: $(cat "$work/first.log")"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

[ $failed = 0 ] && echo "each finding at its line; the honest scenes have none"
exit $failed
