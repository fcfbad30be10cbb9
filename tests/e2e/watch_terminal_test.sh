#!/usr/bin/env bash
# tools/run --watch in a real terminal: a missing scene file is bad usage; --restart shows a save
# in a new program; Ctrl+C ends watching with 130 and one line, no word from the shell, nothing
# left.
#   watch_terminal_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/e2e/watch_common.sh"
trap 'timeout 10 tmux -L "watch-test-$$" kill-server 2>/dev/null; own_end; rm -rf "$work"' EXIT

message=$(timeout 60 "$root/tools/run" --watch "$work/none.cpp" 2>&1)
[ $? -eq 2 ] && grep -q 'no scene file' <<<"$message" || fail "a missing scene file: $message"

cp "$root/examples/Square.cpp" "$scene"
log=$work/terminal.log
timeout 10 tmux -L "watch-test-$$" new-session -d -x 120 -y 30 \
  "'$root/tools/run' --watch --restart '$scene' >'$log' 2>&1; echo \$? >'$work/status'"
wait_said 1
first=$(timeout 10 xdotool getwindowpid "$(wait_window "$caption")")
save_colour "1.0f, 0.0f, 0.0f"
wait_said 2
[ "$(colour)" = 255,0,0 ] || fail "--restart did not show the save: $(colour)"
second=$(timeout 10 xdotool getwindowpid "$(wait_window "$caption")")
[ "$second" != "$first" ] || fail "--restart kept the old program (process $first)"
timeout 10 tmux -L "watch-test-$$" send-keys C-c
for _ in $(seq 150); do [ -s "$work/status" ] && break; sleep 0.1; done
[ "$(cat "$work/status" 2>/dev/null)" = 130 ] || fail "Ctrl+C ended watching with '$(cat "$work/status" 2>/dev/null)', not 130"
grep -q '^watch: ended by Ctrl+C$' "$log" || fail "no word that Ctrl+C ended watching"
grep -qiE 'not a valid identifier|stack smashing|Traceback|Terminated|Killed' "$log" &&
  fail "the shell or Python spoke: $(cat "$log")"
nothing_left Watch.exe "after Ctrl+C"

watch_finish "--restart shows a save in a new program; Ctrl+C ends watching cleanly"
