# Sourced by the tools: a private X display (unless one is given), a window manager on it, and
# a 32-bit Wine prefix inside the build folder, all ended by wine_session_end.
#
#   wine_session_begin BUILD_DIR [--own-display]
#   ... wine program.exe ...
#   wine_session_end

wine_session_begin() {
  local build=$1 own=${2:-}
  # Inside a session already (a tool run by the tests): use it as it is.
  if [ -n "${TUTORIAL_WINE_SESSION:-}" ]; then
    WINE_SESSION_NESTED=1
    return 0
  fi
  WINE_SESSION_NESTED=""
  build=$(cd "$build" && pwd)
  # ARCH=x64: a 64-bit prefix, for the 64-bit build.
  local arch=win32
  [ "${ARCH:-x86}" = x64 ] && arch=win64
  export WINEPREFIX=$build/wine WINEARCH=$arch WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export HOME=$build/home XDG_CACHE_HOME=$build/home/.cache # Wine and Mesa write there
  mkdir -p "$HOME" "$WINEPREFIX"
  WINE_SESSION_XVFB=""
  WINE_SESSION_WM=""

  if [ -z "${DISPLAY:-}" ] || [ "$own" = --own-display ]; then
    # NOTE: -displayfd picks a free display; a fixed :N collides on a shared machine.
    local file=$build/home/display.$$
    rm -f "$file"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" 2>/dev/null &
    WINE_SESSION_XVFB=$!
    local i
    for i in $(seq 100); do [ -s "$file" ] && break; sleep 0.05; done
    [ -s "$file" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=:$(cat "$file")
    rm -f "$file"
    # A window manager makes closing a window quick (without one Wine waits ~2 s for X).
    openbox --sm-disable >/dev/null 2>&1 &
    WINE_SESSION_WM=$!
  fi

  wineserver -p
  if [ ! -f "$WINEPREFIX/.booted" ]; then
    echo "Preparing the Wine prefix in $WINEPREFIX (once)..." >&2
    wine wineboot -i >/dev/null 2>&1
    # No crash dialog: a crashing program exits (code 5) instead of waiting for a click.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    touch "$WINEPREFIX/.booted"
    # Creating the prefix leaves a desktop process that ends a few seconds later: start afresh.
    wineserver -k
    wineserver -p
  fi
  # NOTE: a persistent server and a warm-up start Wine's services once, detached; otherwise they
  # inherit the first program's output pipes and every later start waits for them.
  wine wineboot -i >/dev/null 2>&1
  # NOTE: the first window of a session starts the desktop process, which then holds the
  # starting program's output pipes for ~10 s after it exits: start it here, detached.
  if ! wine_desktop_running; then
    setsid wine explorer.exe /desktop >/dev/null 2>&1 </dev/null &
    local i
    for i in $(seq 100); do wine_desktop_running && break; sleep 0.05; done
  fi
  export TUTORIAL_WINE_SESSION=1
}

# Whether this prefix's desktop process runs (another prefix may have one of its own).
wine_desktop_running() {
  local p
  for p in $(pgrep -f 'explorer.exe /desktop'); do
    tr '\0' '\n' <"/proc/$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

wine_session_end() {
  [ -n "${WINE_SESSION_NESTED:-}" ] && return 0
  wineserver -k 2>/dev/null || true
  [ -n "${WINE_SESSION_WM:-}" ] && kill "$WINE_SESSION_WM" 2>/dev/null
  [ -n "${WINE_SESSION_XVFB:-}" ] && kill "$WINE_SESSION_XVFB" 2>/dev/null
  wait 2>/dev/null
  return 0
}
