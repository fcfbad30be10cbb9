# Run by sh -c inside a sandbox: sh -c "$(cat inside.sh)" sh WxH FAILED COMMAND...
# Starts the sandbox's own X server of WxH (as its user, in its control group, with no shared
# memory to reach past its IPC namespace), waits until it takes connections, then runs COMMAND on
# it; exit code FAILED when it never does. It ends with the sandbox: nothing of one submission's
# display is there for the next.
screen=$1 failed=$2
shift 2
Xvfb -displayfd 3 -screen 0 "$screen"x24 -nolisten tcp -extension MIT-SHM -auth "$HOME/.Xauthority" \
  3>/tmp/.display </dev/null >/dev/null 2>&1 &
i=0
until [ -s /tmp/.display ]; do
  i=$((i + 1))
  [ $i -le 1000 ] || { echo "failed: the X server did not start" >&2; exit "$failed"; }
  sleep 0.01
done
DISPLAY=:$(head -c 8 /tmp/.display | tr -dc 0-9) exec "$@"
