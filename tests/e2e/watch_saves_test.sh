#!/usr/bin/env bash
# tools/run --watch as a student uses it: each save shows in the same window at the same place,
# whose scene clock carries on; a save that does not compile, crashes, throws or never returns
# leaves the last good picture, with one line each; a save's findings are printed once, at its
# lines; a shader's save reloads the scene, its error told at its line; Esc ends it all, leaving
# nothing.
#   watch_saves_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/e2e/watch_common.sh"

cp "$root/examples/Square.cpp" "$scene"
# (The vertex shader of the shader scene further on, there before watching starts: no save.)
cp "$root/tests/e2e/scenes/shaded/Mine.vert" "$work/"
"$root/tools/run" --watch "$scene" >"$log" 2>&1 &
watcher=$!
trap 'kill "$watcher" 2>/dev/null; own_end; rm -rf "$work"' EXIT
# A scene whose red and blue are its clock (whole seconds, and the 255ths of the one under way)
# and whose green tells the saves apart.
save_clock() {
  printf '#include "Tutorial.h"\n#include <GL/gl.h>\nvoid TForm1::DrawScene()\n{\n    const double T = SceneTime();\n    ::glClearColor(float(int(T) %% 256) / 255.0f, %s, float(T - int(T)), 1.0f);\n    ::glClear(GL_COLOR_BUFFER_BIT);\n}\n' "$1" >"$scene"
}
# The scene time a picture of that scene shows, in 255ths of a second.
clock_of() { awk -F, '{print $1 * 255 + $3}' <<<"$1"; }

wait_said 1
[ "$(colour)" = 255,255,255 ] || fail "the first picture is not the white square: $(colour)"
wid=$(wait_window "$caption")
timeout 10 xdotool windowsize "$wid" 500 300 windowmove "$wid" 100 80
sleep 0.3
place=$(window_geometry "$wid")

# Five saves: in place, as a new file renamed over the old one, and two writes in a row (one
# save); each colour shows, in the same window at the same place.
n=1
for rgb in "1.0f, 0.0f, 0.0f" "0.0f, 0.0f, 1.0f" "0.0f, 1.0f, 0.0f" "1.0f, 1.0f, 0.0f" "0.0f, 1.0f, 1.0f"; do
  n=$((n + 1))
  if [ $n -eq 3 ]; then
    sed "s/glColor3f([^)]*)/glColor3f($rgb)/" "$root/examples/Square.cpp" >"$work/.My Scene.cpp.swp"
    mv "$work/.My Scene.cpp.swp" "$scene"
  elif [ $n -eq 4 ]; then
    # NOTE: by the shell's own printf, no process started between them: on a loaded machine
    # starting one can take longer than the pause that ends a save.
    text=$(sed "s/glColor3f([^)]*)/glColor3f($rgb)/" "$root/examples/Square.cpp")
    printf '%s\n' "$text" >"$scene"
    printf '%s\n' "$text" >"$scene"
  else
    save_colour "$rgb"
  fi
  wait_said $n
  expected=$(sed 's/\.0f//g; s/1/255/g; s/ //g' <<<"$rgb")
  [ "$(colour)" = "$expected" ] || fail "save $((n - 1)) did not show $expected: $(colour)"
done
[ "$(on_screen)" = 0,255,255 ] || fail "the window does not show the last save: $(on_screen)"
[ "$(wait_window "$caption")" = "$wid" ] || fail "the window is not the same after five saves"
[ "$(window_geometry "$wid")" = "$place" ] || fail "the window moved: $(window_geometry "$wid"), not $place"

# The scene clock carries on across a save: the next scene's first frame is later than the one
# before by the time the save took to build (a new program would start again from 0, earlier
# than the seconds the watch has run). The saves are shown in turn, so a second save made of
# the two writes in a row above would be shown here, before this one.
save_clock 0.0f
wait_said 7
before=$(colour)
[ "$(cut -d, -f2 <<<"$before")" = 0 ] ||
  fail "two writes in a row were not one save: $before, not the clock, follows them"
save_clock 1.0f
wait_said 8
after=$(colour)
[ "$(cut -d, -f2 <<<"$after")" = 255 ] && [ $(($(clock_of "$after") - $(clock_of "$before"))) -ge 25 ] ||
  fail "the scene clock did not carry on across a save: $before, then $after"

# A scene that writes a long line every frame, to both outputs, as when debugging: it goes on
# moving (its red is its clock's fraction of a second) once it has written far more than a pipe
# holds (its green turns on at 64 lines of 4 KiB, a second of the frames the watch shows), and the
# next save shows.
printf '#include "Tutorial.h"\n#include <GL/gl.h>\n#include <cstdio>\nvoid TForm1::DrawScene()\n{\n    static int Lines = 0;\n    std::fprintf(stderr, "frame at %%f s: %%04095d\\n", SceneTime(), 0);\n    std::printf("and on standard output\\n");\n    ::glClearColor(float(SceneTime() - int(SceneTime())), ++Lines > 64 ? 1.0f : 0.0f, 1.0f, 1.0f);\n    ::glClear(GL_COLOR_BUFFER_BIT);\n}\n' >"$scene"
wait_said 9
# Waits up to 20 s for the window to show something other than $1 with green $2; prints it.
wait_screen() {
  local now
  for _ in $(seq 100); do
    now=$(on_screen)
    [ "$now" != "$1" ] && [ "$(cut -d, -f2 <<<"$now")" = "$2" ] && break
    sleep 0.2
  done
  echo "$now"
}
earlier=$(wait_screen none 255)
[ "$(cut -d, -f2 <<<"$earlier")" = 255 ] || fail "a scene that writes every frame did not write 64 lines: $earlier"
later=$(wait_screen "$earlier" 255)
[ "$later" != "$earlier" ] || fail "a scene that writes every frame stopped moving: $earlier"

# A save that does not compile, one that crashes and one that throws: the last good picture
# stays, with one line for each; the next good save shows.
save_colour "1.0f, 0.0f, 1.0f"
wait_said 10
# Drawn as a new program draws it: the clear colour the scene before set is not this one's.
corner=$(pixel "$BUILD_DIR/screenshot.png" northwest)
[ "$corner" = 0,0,0 ] || fail "the save before left its GL state to the next: the background is $corner"
# (A wrong argument of a GL call: the message is the compiler's usual one, at the scene's line.)
printf 'void Wrong() { ::glVertex2f(1); }\n' >>"$scene"
wait_said 11
grep -q "My Scene.cpp:13:[0-9]*: error: no matching function for call to .TutorialRecorder::TCall<glVertex2f>::Call(int)." "$log" ||
  fail "no compiler message at the file and line of the wrong argument"
[ "$(grep -c 'does not compile' "$log")" -eq 1 ] || fail "the failure is not reported once"
printf '#include "Tutorial.h"\nvoid TForm1::DrawScene() { *(volatile int*)nullptr = 1; }\n' >"$scene"
wait_said 12
grep -q 'My Scene.cpp crashed: access violation .* writing address 0x0*; the last scene that worked is back' "$log" ||
  fail "the crash was not reported"
printf '#include "Tutorial.h"\nvoid TForm1::DrawScene() { throw Exception("no scene yet"); }\n' >"$scene"
wait_said 13
grep -q 'My Scene.cpp threw: no scene yet; the last scene that worked is back' "$log" || fail "the exception was not reported"
[ "$(on_screen)" = 255,0,255 ] || fail "the last good picture did not stay: $(on_screen)"
save_colour "1.0f, 1.0f, 1.0f"
wait_said 14
[ "$(colour)" = 255,255,255 ] || fail "watching did not go on after the crash and the exception: $(colour)"
[ "$(wait_window "$caption")" = "$wid" ] || fail "the window changed after a crash"

# A save that moves the square out of view: what its first frame proves, once, at the line of
# the file as it was given; the save that brings the square back prints nothing more.
sed 's/^    ::glRectf(.*/    ::glPushMatrix();\n    ::glTranslatef(20.0f, 0.0f, 0.0f);\n&\n    ::glPopMatrix();/' \
  "$root/examples/Square.cpp" >"$work/next"
cat "$work/next" >"$scene"
wait_said 15
far="$scene:13: outside-view: glRectf(-3, -3, 3, 3) lies at x 17..23, y -3..3; the view shows x -"
[ "$(grep -cF "$far" "$log")" -eq 1 ] || fail "the square out of view was not told once at its line"
save_colour "1.0f, 1.0f, 1.0f"
wait_said 16
[ "$(sed -n '/: outside-view: /,$p' "$log" | grep -cE '^.+:[0-9]+: [a-z-]+: ')" -eq 1 ] ||
  fail "a save with nothing to find printed findings: $(sed -n '/: outside-view: /,$p' "$log")"

# A scene with a fragment shader beside it, read when the scene runs: the shader's save reloads
# the scene as built; the scene's save shows it; a shader's save with an error at line 5 prints
# it at the shader's path, as the scene's was given, and the last good picture stays; the fixed
# save shows. None of the shader's saves compiles anything.
shaded=$root/tests/e2e/scenes/shaded
sed 's/vec4(1.0, 1.0, 1.0/vec4(0.0, 1.0, 0.0/' "$shaded/Mine.frag" >"$work/Mine.frag"
wait_said 17
grep -q '^watch: reloading My Scene.cpp (Mine.frag saved)$' "$log" || fail "a shader's save did not reload the scene"
cat "$shaded/Scene.cpp" >"$scene"
wait_said 18
[ "$(colour)" = 0,255,0 ] || fail "the shader scene did not show its shader's colour: $(colour)"
compiled=$(grep -c '^watch: compiling ' "$log")
sed '5s/);$/;/' "$work/Mine.frag" >"$work/next" && cat "$work/next" >"$work/Mine.frag"
wait_said 19
grep -qF "$work/Mine.frag:5: error: syntax error" "$log" ||
  fail "the shader's error is not told at its line: $(tail -5 "$log")"
grep -Eq "^watch: My Scene.cpp threw: (the error|[0-9]+ errors) above; the last scene that worked is back$" "$log" ||
  fail "the shader's error did not keep the last scene that worked"
[ "$(on_screen)" = 0,255,0 ] || fail "the last good picture did not stay after the shader's error: $(on_screen)"
sed 's/vec4(1.0, 1.0, 1.0/vec4(0.0, 0.0, 1.0/' "$shaded/Mine.frag" >"$work/next" && cat "$work/next" >"$work/Mine.frag"
wait_said 20
[ "$(colour)" = 0,0,255 ] || fail "the fixed shader did not show: $(colour)"
[ "$(grep -c '^watch: compiling ' "$log")" = "$compiled" ] || fail "a shader's save compiled the scene again"

# A scene that never returns: a new program takes the frozen one's place with the last scene
# that worked. (It waits rather than spins: spinning would cost the suite a processor for the
# whole wait, and prove nothing more.)
printf '#include "Tutorial.h"\nvoid TForm1::DrawScene() { for (;;) ::Sleep(INFINITE); }\n' >"$scene"
wait_said 21
grep -q 'My Scene.cpp drew no frame in 20 s; the program starts again with the last scene that worked' "$log" ||
  fail "a scene that never returns was not reported"
# The line comes before the new program starts: wait for its window, then for the frozen one to
# go (the loop ends it once the new one is in its place), then for the first frame.
frozen=$wid
for _ in 1 2 3; do wid=$(wait_window "$caption" "$frozen") && break; done
[ -n "$wid" ] || { fail "no new program's window"; watch_finish; }
for _ in $(seq 200); do timeout 5 xwininfo -id "$frozen" >/dev/null 2>&1 || break; sleep 0.1; done
for _ in $(seq 100); do [ "$(on_screen)" = 0,0,255 ] && break; sleep 0.2; done
[ "$(on_screen)" = 0,0,255 ] || fail "the last scene that worked did not come back: $(on_screen)"
# NOTE: the window manager moves it when it gets to it.
for _ in $(seq 100); do [ "$(window_geometry "$wid")" = "$place" ] && break; sleep 0.1; done
[ "$(window_geometry "$wid")" = "$place" ] || fail "the new program is not at the old one's place"

# Esc closes the window and ends watching; nothing is left.
timeout 10 xdotool windowactivate --sync "$wid" key Escape 2>/dev/null
wait_exit "$watcher" 10
code=$?
[ $code -eq 0 ] || fail "watching did not end with code 0 after Esc ($code)"
grep -q 'the window was closed; watching ends' "$log" || fail "no word that watching ended"
nothing_left WatchHost.exe "after Esc"

watch_finish "saves shown in one window, failures reported, Esc ends it cleanly"
