#!/usr/bin/env bash
# tools/run --watch as a student uses it: each save of the scene shows in a window at the old
# one's place and size; a save that does not compile keeps the last good window; a crash and an
# exception are reported and watching goes on; Esc ends it all.
#   watch_test.sh SOURCE_DIR
set -uo pipefail
root=$1
caption='Zorv OpenGL Tutorial Exercise'
. "$root/tools/x11-helpers.sh"
work=$(mktemp -d)
scene="$work/My Scene.cpp" # a space, as students' file names have
log=$work/watch.log
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cp "$root/examples/Square.cpp" "$scene"
BUILD_DIR=${BUILD_DIR:?the build folder} "$root/tools/run" --watch "$scene" >"$log" 2>&1 &
watcher=$!
cleanup() {
  kill "$watcher" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
message=$("$root/tools/run" --watch "$work/none.cpp" 2>&1)
[ $? -eq 2 ] && grep -q 'no scene file' <<<"$message" || fail "a missing scene file: $message"

# Waits for the watcher's word on the Nth save: a new first frame, or why there is none.
shots() { grep -cE '^watch: (screenshot|.* does not compile|the program stopped)' "$log"; }
wait_shot() {
  for _ in $(seq 900); do
    [ "$(shots)" -ge "$1" ] && return 0
    kill -0 "$watcher" 2>/dev/null || break
    sleep 0.1
  done
  echo "--- the watcher's output:"; cat "$log"
  exit 1
}
# The colour in the middle of the latest first frame, as R,G,B.
colour() {
  timeout 20 convert "$BUILD_DIR/screenshot.png" -gravity center -crop 1x1+0+0 \
    -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:
}
# Saves the scene in place (truncate and write), drawing the square in this colour.
save_colour() {
  sed "s/glColor3f([^)]*)/glColor3f($1)/" "$root/examples/Square.cpp" >"$work/next"
  cat "$work/next" >"$scene"
}

wait_shot 1
[ "$(colour)" = 255,255,255 ] || fail "the first picture is not the white square: $(colour)"
wid=$(wait_window "$caption")
xdotool windowsize "$wid" 500 300 windowmove "$wid" 100 80
sleep 0.3
place=$(window_geometry "$wid")

save_colour "1.0f, 0.0f, 0.0f"
wait_shot 2
[ "$(colour)" = 255,0,0 ] || fail "an in-place save did not show the red square: $(colour)"
[ "$(window_geometry "$(wait_window "$caption")")" = "$place" ] ||
  fail "the new window is not at the old one's place and size"
[ "$(xdotool search --onlyvisible --name "^$caption\$" | wc -l)" -eq 1 ] || fail "the old window is still there"

good=$(wait_window "$caption")
printf 'this is not C++\n' >>"$scene"
wait_shot 3
grep -q "My Scene.cpp:[0-9]*:[0-9]*: error" "$log" || fail "no compiler message with the file and line"
[ "$(grep -c 'does not compile' "$log")" -eq 1 ] || fail "the failure is not reported once"
[ "$(wait_window "$caption")" = "$good" ] || fail "the last good window did not stay"

# Saved as many editors do: a new file renamed over the old one.
sed "s/glColor3f([^)]*)/glColor3f(0.0f, 0.0f, 1.0f)/" "$root/examples/Square.cpp" >"$work/.My Scene.cpp.swp"
mv "$work/.My Scene.cpp.swp" "$scene"
wait_shot 4
[ "$(colour)" = 0,0,255 ] || fail "a rename-over save did not show the blue square: $(colour)"

# Several writes in a row are one save.
save_colour "0.0f, 1.0f, 0.0f"
save_colour "0.0f, 1.0f, 0.0f"
wait_shot 5
sleep 1.5
[ "$(shots)" -eq 5 ] || fail "two writes in a row were taken as $(($(shots) - 4)) saves"
[ "$(colour)" = 0,255,0 ] || fail "the green square is not shown: $(colour)"

# A crash, and an exception shown in a box: one line each, and watching goes on.
printf '#include "Tutorial.h"\nvoid TForm1::DrawScene() { *(volatile int*)nullptr = 1; }\n' >"$scene"
wait_shot 6
grep -q 'the program stopped: crash: access violation' "$log" || fail "the crash was not reported"
printf '#include "Tutorial.h"\nvoid TForm1::DrawScene() { throw Exception("no scene yet"); }\n' >"$scene"
wait_shot 7
grep -q 'the program stopped: exception: no scene yet' "$log" || fail "the exception was not reported"
save_colour "1.0f, 1.0f, 1.0f"
wait_shot 8
[ "$(colour)" = 255,255,255 ] || fail "watching did not go on after the crash and the box: $(colour)"

# Esc closes the window and ends watching; nothing is left.
xdotool windowactivate --sync "$(wait_window "$caption")" key Escape 2>/dev/null
wait_exit "$watcher" 10
code=$?
[ $code -eq 0 ] || fail "watching did not end with code 0 after Esc ($code)"
grep -q 'watching ends' "$log" || fail "no word that watching ended"
sleep 0.3
pgrep -f "inotifywait.*$work" >/dev/null && fail "inotifywait was left running"
pgrep -f 'Watch\.exe' >/dev/null && fail "the program was left running"

[ $failures -eq 0 ] && echo "saves shown, failures reported, watching ended cleanly"
[ $failures -eq 0 ] || { echo "--- the watcher's output:"; cat "$log"; }
exit $((failures > 0))
