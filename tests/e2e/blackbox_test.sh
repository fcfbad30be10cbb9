#!/usr/bin/env bash
# The program as a user meets it, under Wine on the test display: real X key presses and window
# manager requests, the exit code read from the process.
#   blackbox_test.sh EXE keys|close-button
set -uo pipefail
exe=$1 scenario=$2
caption=$(PYTHONPATH="$(dirname "$0")/../../tools" python3 -m tutor.contract caption)

# Whatever the command line holds, it is ignored.
"${WINE:-wine}" "$exe" --help /? "quoted arg" '%s%s%n' >/dev/null 2>&1 &
pid=$!
cleanup() { kill "$pid" 2>/dev/null; }
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }
alive() { kill -0 "$pid" 2>/dev/null; }
# Windows by name, not by pid: under 64-bit Wine the pid of `wine` is not the window's.
. "$(dirname "$0")/x11-helpers.sh"
wid=$(wait_window "$caption") || fail "the window did not appear"

case $scenario in
  keys)
    # F1 shows the notice; Return presses its OK button; the program goes on.
    xdotool key --window "$wid" F1
    box=$(wait_window Error) || fail "F1 showed no box"
    xdotool key --window "$box" Return
    wait_gone Error || fail "the box did not close"
    sleep 0.3
    alive || fail "the program ended after the F1 box"
    # Other keys do nothing.
    for key in a Return space Tab F2 F12 Left shift+x ctrl+c; do
      xdotool key --window "$wid" "$key"
    done
    sleep 0.5
    alive || fail "a key other than Esc ended the program"
    wait_window "$caption" >/dev/null || fail "the window went away"
    # NOTE: Esc as a real key press through the X server, to the focused window. Sent to the
    # window directly, its release would find the window gone, and Wine would keep the key
    # down for the next program on this display.
    xdotool windowactivate --sync "$wid" key Escape
    ;;
  close-button)
    # What the close button does: the window manager asks the window to close.
    wmctrl -c "$caption" || fail "wmctrl could not ask the window to close"
    ;;
  *) fail "unknown scenario $scenario" ;;
esac

wait_exit "$pid" 10
code=$?
[ $code -eq 255 ] && fail "still running 10 s after closing"
[ $code -eq 0 ] || fail "exit code $code"
trap - EXIT
echo "closed with exit code 0"
