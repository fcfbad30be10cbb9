#!/usr/bin/env bash
# Records the OpenGL calls the program really makes (Wine's opengl32 turned into GLX calls,
# caught by apitrace's tracer) while the window is resized and closed, then checks them.
#   gltrace_test.sh EXE WORK_DIR
set -uo pipefail
exe=$1 work=$2
caption=$(PYTHONPATH="$(dirname "$0")/../../tools" python3 -m tutor.contract caption)
# The tracer of the program's own architecture, by its PE header.
case $(od -An -tx2 -j "$((0x$(od -An -tx4 -j 60 -N 4 "$exe" | tr -d ' ') + 4))" -N 2 "$exe" | tr -d ' ') in
  8664) tracer=/usr/lib/x86_64-linux-gnu/apitrace/wrappers/glxtrace.so ;;
  *) tracer=/usr/lib/i386-linux-gnu/apitrace/wrappers/glxtrace.so ;;
esac
mkdir -p "$work"
trace=$work/tutorial.trace
rm -f "$trace"

# NOTE: the tracer also lands in Wine's loader of the other width, which says "wrong ELF
# class": harmless.
TRACE_FILE=$trace LD_PRELOAD=$tracer "${WINE:-wine}" "$exe" >"$work/wine.log" 2>&1 &
pid=$!
# NOTE: by name: the pid of `wine` is not the window's under a preloaded tracer or 64-bit Wine.
window() { xdotool search --onlyvisible --name "^$caption\$" 2>/dev/null | tail -1; }
wid=""
for i in $(seq 300); do
  wid=$(window)
  [ -n "$wid" ] && break
  sleep 0.05
done
[ -n "$wid" ] || { kill $pid 2>/dev/null; echo "FAIL: the window did not appear"; exit 1; }

sleep 0.5
sizes="1000x333 333x1000 640x480"
for size in $sizes; do
  xdotool windowsize "$(window)" "${size%x*}" "${size#*x}"
  sleep 0.4
done
wid=$(window)
xdotool windowactivate --sync "$wid" key Escape
code=0
wait $pid || code=$?
[ $code -eq 0 ] || { echo "FAIL: exit code $code"; exit 1; }

apitrace dump --color=never "$trace" >"$work/tutorial.calls" || { echo "FAIL: no trace"; exit 1; }
python3 "$(dirname "$0")/check_gltrace.py" "$work/tutorial.calls" $sizes
