# shellcheck shell=bash
# Sourced by the tests that check what a run left behind: they look only at what their own run
# started, never at another test's or another checkout's on the same machine. Every process the
# test starts carries its mark in its environment (Wine's and the tools' included).
#   . own.sh

export TUTORIAL_TEST_RUN="$$.$(date +%s%N)"

# This run's processes, by id.
own_pids() {
  grep -lzxF "TUTORIAL_TEST_RUN=$TUTORIAL_TEST_RUN" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3
}

# Whether process $1 carries this run's mark.
marked() { grep -qzxF "TUTORIAL_TEST_RUN=$TUTORIAL_TEST_RUN" "/proc/$1/environ" 2>/dev/null; }

# This run's processes whose command line matches the pattern $1 (as pgrep -f takes it).
own_pgrep() {
  local pid
  for pid in $(pgrep -f -- "$1"); do
    marked "$pid" && echo "$pid"
  done
  return 0
}

# Ends what this run started and left running, the test's own shell aside: for its EXIT trap.
own_end() {
  local pids
  pids=$(own_pids | grep -vx "$$")
  [ -z "$pids" ] || kill $pids 2>/dev/null
  return 0
}
