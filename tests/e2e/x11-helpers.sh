# shellcheck shell=bash
# Sourced by the test scripts that drive the program through X: waiting for windows
# by exact name, for a process to end, and for the file a process writes. Every X client here has a time limit: one can wait
# for ever on a window whose program crashes meanwhile.

# Prints the id of a visible window with this exact name, other than the id given second (a
# window just closed may linger in the X server's list for a moment); waits up to 10 s.
wait_window() {
  local i id
  for i in $(seq 200); do
    id=$(timeout --foreground 5 xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "${2:-none}" | tail -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

# Succeeds once no visible window has this name; polls TRIES times, 50 ms apart (default 200).
wait_gone() {
  local i
  for i in $(seq "${2:-200}"); do
    # 1 is "none found"; a search that timed out proves nothing.
    timeout --foreground 5 xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1
    [ $? -eq 1 ] && return 0
    sleep 0.05
  done
  return 1
}

# Waits up to SECONDS for the child PID to end; returns its exit code, or 255 if it still runs.
wait_exit() {
  local pid=$1 seconds=$2 i
  for i in $(seq $((seconds * 20))); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid"; return $?; }
    sleep 0.05
  done
  return 255
}

# Waits up to SECONDS for a file named NAME (a pattern, as find -name takes it) in the folder
# DIR while the child PID runs; succeeds once there is one.
wait_file() {
  local dir=$1 name=$2 pid=$3 seconds=$4 i
  found() { [ -n "$(find "$dir" -maxdepth 1 -name "$name" -print -quit 2>/dev/null)" ]; }
  for i in $(seq $((seconds * 20))); do
    found && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  found
}

# The client area of the window with this id, on the screen: X Y WIDTH HEIGHT.
window_geometry() {
  timeout --foreground 5 xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
    /Width:/ {w=$NF} /Height:/ {h=$NF} END {if (w) print x, y, w, h; else exit 1}'
}
