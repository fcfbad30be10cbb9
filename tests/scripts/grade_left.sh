# shellcheck shell=bash
# Sourced by the grade tests.

# The sandboxes' X servers running now, by process id: each has a key file (-auth); the Wine
# session's own display, of the same size, has none.
grade_x_servers() {
  local pid
  for pid in $(pgrep -x Xvfb); do
    tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -q -- '1920x1200x24 .*-auth ' && echo "$pid"
  done
}

# What runs of tools/grade left running or mounted since the process list PROCESSES
# (ps -e -o pid= | sort) was taken, a line each: nothing when they left nothing.
grade_left_behind() {
  local pid owner
  ps -C bwrap -o stat=,pid=,args= | grep -v '^Z'
  grade_x_servers | sed "s/^/a sandbox's display: /"
  grep grade-work /proc/mounts
  for pid in $(comm -13 <(echo "$1") <(ps -e -o pid= | sort)); do
    owner=$(ps -o ppid=,uid=,stat=,args= -p "$pid") || continue # ended since
    # A sandbox's user's, or one of grading's left to init; not another user's work on a shared
    # machine, such as a build. (The Wine session's services outlive it by design.)
    awk '$3 !~ /^Z/ && (($1 == 1 && /grade|bwrap|Xvfb|wine|\.exe/) || $2 >= 64000) && !/C:\\windows\\system32\\|wineserver/' <<<"$owner"
  done
  return 0
}
