# shellcheck shell=bash
# Sourced by the tools: a private X display (unless one is given), a window manager on it, and
# a Wine prefix of the build's width inside the build folder, all ended by wine_session_end,
# which wine_session_begin arranges to run on every way out (success, failure, Ctrl+C).
#
#   wine_session_begin BUILD_DIR [--own-display] || exit 1
#   ... "$WINE" program.exe ...
#
# Every outside program runs under "timeout --foreground" here and in the tools: no call waits
# for ever. NOTE: without --foreground, timeout moves the program into a process group of its
# own, where a terminal's Ctrl+C never reaches it, and the tool's trap waits out the limit.
#
# ARCH=x64 makes a 64-bit prefix and starts everything with the 64-bit loader, which never
# needs 32-bit code. TUTORIAL_WINE names another loader (the tests use stand-ins).

wine_session_begin() {
  local build=$1 own=${2:-}
  # Inside a session already (a tool run by the tests): use it as it is.
  if [ -n "${TUTORIAL_WINE_SESSION:-}" ]; then
    WINE_SESSION_NESTED=1
    return 0
  fi
  WINE_SESSION_NESTED=""
  WINE_SESSION_XVFB=""
  WINE_SESSION_WM=""
  WINE_SESSION_SERVER=""
  # Before anything starts: whatever happens next, it is ended.
  trap wine_session_end EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM HUP

  mkdir -p "$build" && build=$(cd "$build" && pwd)
  local arch=win32
  WINE=wine
  if [ "${ARCH:-x86}" = x64 ]; then
    # NOTE: /usr/bin/wine starts the 32-bit loader first, even for a 64-bit program.
    arch=win64
    WINE=/usr/lib/wine/wine64
    export WINELOADER=$WINE # the loader Wine starts further processes with
  fi
  WINE=${TUTORIAL_WINE:-$WINE}
  export WINE WINEPREFIX=$build/wine WINEARCH=$arch WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export HOME=$build/home XDG_CACHE_HOME=$build/home/.cache # Wine and Mesa write there
  mkdir -p "$HOME" "$WINEPREFIX"

  if [ -z "${DISPLAY:-}" ] || [ "$own" = --own-display ]; then
    # The first free display, with a window manager, both ended by wine_session_end.
    # As large as the largest client area any tool asks for (contract.py).
    local started number screen
    screen=$(python3 -m tutor.contract screen) || return 1
    started=$(timeout --foreground 30 python3 -m tutor.xdisplay "${screen}x24" \
      --window-manager) || return 1
    read -r number WINE_SESSION_XVFB WINE_SESSION_WM <<<"$started"
    export DISPLAY=:$number
  fi

  WINE_SESSION_SERVER=1
  timeout --foreground 30 wineserver -p || { echo "wineserver did not start" >&2; return 1; }
  # NOTE: Wine's output goes to a file: its services, started detached, keep a pipe open for
  # as long as they run.
  local log=$build/home/wineboot.log
  if [ ! -f "$WINEPREFIX/.booted" ]; then
    echo "Preparing the Wine prefix in $WINEPREFIX (once)..." >&2
    timeout --foreground 600 "$WINE" wineboot -i >"$log" 2>&1 || { wine_failed "$log"; return 1; }
    # No crash dialog: a crashing program exits (code 5) instead of waiting for a click.
    timeout --foreground 60 "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    touch "$WINEPREFIX/.booted"
    # Creating the prefix leaves a desktop process that ends a few seconds later: start afresh.
    timeout --foreground 30 wineserver -k
    timeout --foreground 30 wineserver -p
  fi
  # NOTE: a persistent server and a warm-up start Wine's services once, detached; otherwise they
  # inherit the first program's output pipes and every later start waits for them.
  timeout --foreground 120 "$WINE" wineboot -i >"$log" 2>&1 || { wine_failed "$log"; return 1; }
  # NOTE: the first window of a session starts the desktop process, which then holds the
  # starting program's output pipes for ~10 s after it exits: start it here, detached.
  if ! wine_desktop_running; then
    setsid "$WINE" explorer.exe /desktop >/dev/null 2>&1 </dev/null &
    for _ in $(seq 100); do wine_desktop_running && break; sleep 0.05; done
  fi
  export TUTORIAL_WINE_SESSION=1
}

wine_failed() {
  echo "Wine did not start ($WINE): $(head -c 300 "$1")" >&2
}

# Whether this prefix's desktop process runs (another prefix may have one of its own).
wine_desktop_running() {
  local p
  for p in $(pgrep -f 'explorer.exe /desktop'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# Ends the Wine processes of the prefix (the program included), the window manager and the
# display; safe to call twice and after a start that failed half-way.
wine_session_end() {
  [ -n "${WINE_SESSION_NESTED:-}" ] && return 0
  # NOTE: every step tolerates failure: the tools run under set -e, which would end this
  # function, the EXIT trap, at the first one.
  if [ -n "${WINE_SESSION_SERVER:-}" ]; then timeout --foreground 15 wineserver -k 2>/dev/null || true; fi
  if [ -n "${WINE_SESSION_WM:-}" ]; then kill "$WINE_SESSION_WM" 2>/dev/null || true; fi
  if [ -n "${WINE_SESSION_XVFB:-}" ]; then kill "$WINE_SESSION_XVFB" 2>/dev/null || true; fi
  WINE_SESSION_SERVER="" WINE_SESSION_WM="" WINE_SESSION_XVFB=""
  # Whatever else the tool left in the background, a loader that never started included.
  local left pid
  left=$(jobs -p)
  if [ -n "$left" ]; then
    kill $left 2>/dev/null || true
    # A bounded wait: what has not ended two seconds after TERM is killed.
    for _ in $(seq 40); do
      for pid in $left; do kill -0 "$pid" 2>/dev/null && break; pid=""; done
      [ -z "$pid" ] && break
      sleep 0.05
    done
    kill -9 $left 2>/dev/null || true
  fi
  wait 2>/dev/null || true
  return 0
}

# A host path as a Windows program sees it (contract.py).
windows_path() {
  python3 -m tutor.contract windows-path "$1"
}

# Runs an exercise's driver (drivers/NAME.exe, see harness/Driver.cpp) for at most LIMIT seconds;
# on failure prints one line saying why: the driver's own, or the limit. Returns its exit code,
# 124 when the limit ended it.
driver_run() {
  local limit=$1 said code
  shift
  said=$(mktemp)
  timeout --foreground -k 5 "$limit" "$WINE" "$@" >/dev/null 2>"$said"
  code=$?
  if [ $code -eq 124 ] || [ $code -eq 137 ]; then
    echo "still running after $limit s"
    code=124
  elif [ $code -ne 0 ]; then
    python3 -m tutor.contract report-line <"$said" || echo "exit code $code"
  fi
  rm -f "$said"
  return $code
}
