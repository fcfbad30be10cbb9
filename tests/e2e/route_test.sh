#!/usr/bin/env bash
# Which build the tools run, decided by whether the 32-bit Wine loader starts; and a tool whose
# Wine cannot start, or that is interrupted, leaves no process behind.
#   route_test.sh SOURCE_DIR
set -uo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Stand-in loaders: one the kernel refuses, one that hangs.
printf '#!/bin/sh\necho "Exec format error" >&2\nexit 126\n' >"$work/refused"
printf '#!/bin/sh\ntouch "%s/hanging.started"\nexec sleep 300\n' "$work" >"$work/hangs"
chmod +x "$work/refused" "$work/hangs"

# The stand-ins' routes and their notes are tests/tools/test_tree.py's.
# The real loader: its answer agrees with another 32-bit program, Wine's own 32-bit server.
expected=x64
/usr/lib/wine/wineserver32 --version >/dev/null 2>&1 && expected=x86
[ "$(env -u TUTORIAL_ROUTE -u TUTORIAL_FORCE_X64 TUTORIAL_WINE32_LOADER=/usr/lib/wine/wine \
  PYTHONPATH="$root/tools" timeout 60 /usr/bin/python3 -m tutor route 2>/dev/null)" = $expected ] ||
  fail "the real loader's answer is not $expected"

# Processes started with this prefix (Xvfb, the window manager, wineserver, the loader) or by a
# stand-in loader.
left_behind() {
  local p
  for p in $(grep -lzxF "WINEPREFIX=$work/build/wine" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3); do
    echo "$p $(tr '\0' ' ' 2>/dev/null <"/proc/$p/cmdline")"
  done
}
# Waits up to 5 s for nothing to be left; then says what is.
none_left() {
  for _ in $(seq 100); do
    [ -z "$(left_behind)" ] && return 0
    sleep 0.05
  done
  fail "left $1: $(left_behind)"
}
capture_with() {
  env -u TUTORIAL_WINE_SESSION -u DISPLAY TUTORIAL_WINE="$1" BUILD_DIR="$work/build" \
    "$root/tools/capture" --no-build "$work/Nothing.exe"
}
mkdir -p "$work/drivers"
touch "$work/Nothing.exe" "$work/drivers/Nothing.exe"

message=$(capture_with "$work/refused" 2>&1)
status=$?
[ $status -ne 0 ] || fail "a tool whose Wine cannot start succeeded"
grep -q 'Wine did not start' <<<"$message" || fail "no word of why: $message"
none_left "after a failed start"

# Ctrl+C, as a terminal sends it: SIGINT to the tool's whole process group. NOTE: a job started
# with & ignores SIGINT, and so would the tool; env gives it back its default.
setsid env --default-signal=INT bash -c "$(declare -f capture_with); work='$work' root='$root' capture_with '$work/hangs'" \
  >/dev/null 2>&1 &
tool=$!
for _ in $(seq 200); do [ -e "$work/hanging.started" ] && break; sleep 0.05; done
[ -e "$work/hanging.started" ] || fail "the hanging loader never started"
[ -n "$(left_behind)" ] || fail "no process of the session found while it runs"
kill -INT -- -"$tool"
for _ in $(seq 100); do kill -0 "$tool" 2>/dev/null || break; sleep 0.05; done
kill -0 "$tool" 2>/dev/null && fail "the tool still runs 5 s after Ctrl+C"
none_left "after Ctrl+C"
left_behind | while read -r pid _; do kill "$pid"; done

[ $failures -eq 0 ] && echo "routes chosen right; nothing left after a failed or interrupted start"
exit $((failures > 0))
