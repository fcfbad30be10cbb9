# shellcheck shell=bash
# Sourced by tools/run for --watch: rebuilds an exercise whenever its scene file is saved and
# puts the new program where the old window was. Needs the Wine session, the X helpers and
# inotifywait.
#
#   watch_scene SCENE.cpp BUILD_DIR

WATCH_CAPTION='Zorv OpenGL Tutorial Exercise'

# The Watch target compiles build/watch/Scene.cpp, which includes the watched file: compiler
# messages then name the student's file and line, and its own includes resolve beside it.
watch_point_at() {
  local scene=$1 wrapper=$2 line
  line="#include \"$(sed 's/[\\"]/\\&/g' <<<"$scene")\""
  mkdir -p "$(dirname "$wrapper")"
  [ "$(cat "$wrapper" 2>/dev/null)" = "$line" ] || printf '%s\n' "$line" >"$wrapper"
}

# Builds the Watch target from the scene as it is now; on failure prints the compiler's own
# lines, file and line first.
watch_build() {
  local out
  # NOTE: the scene's object goes first: a save that lands while its predecessor compiles is
  # older than that object, and ninja would take the object for up to date.
  rm -f "$WATCH_BUILD/CMakeFiles/Watch_driver.dir/watch/Scene.cpp.obj"
  out=$(timeout --foreground 300 cmake --build "$WATCH_BUILD" --target Watch_driver 2>&1) && return 0
  grep -v -e '^\[[0-9]*/[0-9]*\]' -e '^FAILED: ' -e '^ninja: ' -e '^In file included from ' \
    -e '-o [^ ]*\.obj -c ' -e '^compilation terminated' -e ' -o [^ ]*Watch\.exe ' <<<"$out" >&2
  return 1
}

# Starts the new program and waits until it shows its window or ends. The new window takes the
# old one's place and size; then the old program is ended. The program pictures its own first
# frame, which becomes the screenshot.
watch_replace() {
  local pid wid="" shot=$WATCH_BUILD/watch/first.png
  rm -f "$shot"
  # NOTE: in a subshell of its own, so that bash reports no job killed by a signal.
  ("$WINE" "$WATCH_BUILD/drivers/Watch.exe" --first-frame "$(windows_path "$shot")" \
    >/dev/null 2>"$WATCH_BUILD/watch/said"; exit $?) &
  pid=$!
  for _ in $(seq 200); do
    wid=$(timeout --foreground 5 xdotool search --onlyvisible --name "^$WATCH_CAPTION\$" 2>/dev/null | grep -vx "${WATCH_WID:-none}" | tail -1)
    [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  [ -n "$WATCH_WID" ] && WATCH_PLACE=$(window_geometry "$WATCH_WID")
  if [ -n "$wid" ] && [ -n "$WATCH_PLACE" ]; then
    read -r x y w h <<<"$WATCH_PLACE"
    timeout --foreground 5 xdotool windowsize "$wid" "$w" "$h" windowmove "$wid" "$x" "$y" 2>/dev/null
  fi
  watch_stop_program
  WATCH_PID=$pid WATCH_WID=$wid
  # The first frame, or the end that came instead of it.
  if wait_file "$(dirname "$shot")" first.png "$pid" 10; then
    mv -f "$shot" "$WATCH_BUILD/screenshot.png"
    echo "watch: screenshot $WATCH_BUILD/screenshot.png"
  elif ! kill -0 "$pid" 2>/dev/null; then
    watch_report_exit at-start
  else
    echo "watch: the program has drawn no frame after 10 s; watching goes on"
  fi
}

# After the program ended by itself: a crash or an exception is reported with what the program
# said; closed by its user (code 0), it ends the watching, unless it had just started.
watch_report_exit() {
  local code=0 said
  wait "$WATCH_PID" 2>/dev/null || code=$?
  WATCH_PID="" WATCH_WID=""
  said=$(grep -aE '^(crash|exception|failed): ' "$WATCH_BUILD/watch/said" 2>/dev/null | tail -1 | tr -d '\r')
  if [ $code -ne 0 ]; then
    echo "watch: the program stopped: ${said:-exit code $code}; watching goes on"
  elif [ "${1:-}" = at-start ]; then
    echo "watch: the program stopped: it ended at once; watching goes on"
  else
    echo "watch: the window was closed; watching ends"
    return 1
  fi
  return 0
}

# Closes the program's window as its close button would, and ends it if that does not do.
watch_stop_program() {
  [ -n "${WATCH_PID:-}" ] || return 0
  [ -n "$WATCH_WID" ] && timeout --foreground 5 wmctrl -i -c "$WATCH_WID" 2>/dev/null
  for _ in $(seq 40); do kill -0 "$WATCH_PID" 2>/dev/null || break; sleep 0.05; done
  pkill -KILL -P "$WATCH_PID" 2>/dev/null
  wait "$WATCH_PID" 2>/dev/null
  WATCH_PID="" WATCH_WID=""
}

watch_scene() {
  local scene build=$2 dir name event
  set +e # every status is looked at here
  scene=$(realpath "$1")
  WATCH_BUILD=$build WATCH_PID="" WATCH_WID="" WATCH_PLACE=""
  dir=$(dirname "$scene") name=$(basename "$scene")
  watch_point_at "$scene" "$build/watch/Scene.cpp"
  trap 'kill "$WATCH_INOTIFY" 2>/dev/null; watch_stop_program; wine_session_end' EXIT

  # NOTE: the folder, not the file: an editor that saves by renaming a new file over the old
  # one replaces the file being watched.
  exec {events}< <(exec inotifywait -m -q -e close_write -e moved_to --format '%f' "$dir")
  WATCH_INOTIFY=$!
  echo "watch: $scene (Ctrl+C or closing the window ends watching)"
  if watch_build; then watch_replace; else echo "watch: $name does not compile; fix it and save"; fi

  local status
  while true; do
    read -r -t 0.3 -u "$events" event
    status=$?
    if [ $status -ne 0 ] && [ $status -le 128 ]; then
      echo "watch: inotifywait ended; watching ends" >&2
      return 1
    fi
    if [ $status -eq 0 ]; then
      [ "$event" = "$name" ] || continue
      # Several writes in a row are one save.
      while read -r -t 0.1 -u "$events" _; do :; done
      if watch_build; then
        watch_replace
      else
        echo "watch: $name does not compile; the last good window stays"
      fi
    elif [ -n "$WATCH_PID" ] && ! kill -0 "$WATCH_PID" 2>/dev/null; then
      watch_report_exit || return 0
    fi
  done
}
