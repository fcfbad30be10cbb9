# shellcheck shell=bash
# Sourced by the tests of tools/run --watch: a scene file to save into, the watcher's word on each
# save, and the colour a picture or the window shows.
#   . watch_common.sh    with root set to the source folder

. "$root/tests/e2e/x11-helpers.sh"
. "$root/tests/e2e/own.sh"
work=$(mktemp -d)
scene="$work/My Scene.cpp" # a space, as students' file names have
log=$work/watch.log
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
caption=$(PYTHONPATH="$root/tools" timeout 10 python3 -m tutor.contract caption)
[ -n "$caption" ] || { echo "FAIL: no caption from tutor.contract"; rm -rf "$work"; exit 1; }
: "${BUILD_DIR:?the build folder}"

# Waits for the watcher's word on the Nth save in its output (default: log): a first frame, or
# why there is none.
said() { grep -cE '^watch: (screenshot|.* does not compile|.* crashed|.* threw|.* drew no frame|the program stopped: .*; watching goes on)' "$1"; }
wait_said() {
  local file=${2:-$log}
  for _ in $(seq 900); do
    [ "$(said "$file")" -ge "$1" ] && return 0
    sleep 0.1
  done
  echo "--- the watcher's output:"; cat "$file"
  exit 1
}
# The colour of a picture at a place ($2, a gravity: center, northwest), or in the middle of a
# picture or of the window wid on the screen, as R,G,B.
pixel() { timeout 20 convert "$1" -gravity "$2" -crop 1x1+0+0 -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:; }
centre() { pixel "$1" center; }
colour() { centre "$BUILD_DIR/screenshot.png"; }
on_screen() {
  timeout 20 import -window "$wid" "$work/window.png" 2>/dev/null
  centre "$work/window.png"
}
# Saves the scene in place (truncate and write), drawing the square in this colour.
save_colour() {
  sed "s/glColor3f([^)]*)/glColor3f($1)/" "$root/examples/Square.cpp" >"$work/next"
  cat "$work/next" >"$scene"
}
# Nothing of this test's watch is left running: inotifywait and the program (a pattern).
nothing_left() {
  for _ in $(seq 100); do # a loaded machine takes seconds to end a Wine process
    [ -z "$(own_pgrep inotifywait)$(own_pgrep "$1")" ] && return 0
    sleep 0.1
  done
  [ -z "$(own_pgrep inotifywait)" ] || fail "inotifywait was left running $2"
  [ -z "$(own_pgrep "$1")" ] || fail "the program was left running $2"
}
# The closing word: the output when something failed, and the exit code.
watch_finish() {
  [ $failures -eq 0 ] && echo "$1"
  [ $failures -eq 0 ] || { echo "--- the watcher's output:"; cat "$work"/*.log; }
  exit $((failures > 0))
}
