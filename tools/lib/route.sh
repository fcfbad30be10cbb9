# shellcheck shell=bash
# Sourced by the tools that run the program: which build runs on this machine. The 32-bit
# program is the product, but some kernels run no 32-bit code at all (32-bit emulation off);
# there the 64-bit build of the same sources stands in. Decided once per command, after
# tools/setup, and passed on to every tool it calls through TUTORIAL_ROUTE.
#
#   TUTORIAL_FORCE_X64=1   the 64-bit route on any machine
#
#   use_route              installs what is missing, chooses the route, exports ARCH for it
#   choose_route           sets and exports TUTORIAL_ROUTE: x86 or x64
#   route_build_dir [ARCH] the build folder of that width, ARCH's by default (BUILD_DIR wins)
#   route_toolchain [ARCH] the MinGW-w64 target of that width, ARCH's by default
#   route_driver EXE       the tools' build of an exercise, drivers/NAME.exe beside NAME.exe

# The tools' Python package, tools/tutor, for python3 -m.
PYTHONPATH=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)${PYTHONPATH:+:$PYTHONPATH}
export PYTHONPATH

WINE32_LOADER=${TUTORIAL_WINE32_LOADER:-/usr/lib/wine/wine}

# Succeeds when the 32-bit Wine loader starts. NOTE: a kernel without 32-bit emulation refuses
# every i386 program with "Exec format error" (exit code 126).
runs_32bit_code() {
  "$WINE32_LOADER" --version >/dev/null 2>&1
}

choose_route() {
  [ -n "${TUTORIAL_ROUTE:-}" ] && return 0
  if [ -n "${TUTORIAL_FORCE_X64:-}" ]; then
    TUTORIAL_ROUTE=x64
    echo "note: TUTORIAL_FORCE_X64 is set: running the 64-bit build" >&2
  elif runs_32bit_code; then
    TUTORIAL_ROUTE=x86
  elif [ ! -e "$WINE32_LOADER" ]; then
    TUTORIAL_ROUTE=x64
    echo "note: no 32-bit Wine at $WINE32_LOADER (tools/setup installs it): running the 64-bit build" >&2
  else
    TUTORIAL_ROUTE=x64
    echo "note: this machine's kernel runs no 32-bit code (boot it with ia32_emulation=on to" \
      "run the 32-bit program): running the 64-bit build" >&2
  fi
  export TUTORIAL_ROUTE
}

use_route() {
  "$(dirname "${BASH_SOURCE[0]}")/../setup" || return 1
  # The tools this command calls need not look again.
  export TUTORIAL_SETUP_DONE=1
  choose_route
  export ARCH=$TUTORIAL_ROUTE
}

route_build_dir() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  if [ -n "${BUILD_DIR:-}" ]; then
    echo "$BUILD_DIR"
  elif [ "${1:-${ARCH:-x86}}" = x64 ]; then
    echo "$root/build-x64"
  else
    echo "$root/build"
  fi
}

route_toolchain() {
  case ${1:-${ARCH:-x86}} in
    x86) echo i686-w64-mingw32 ;;
    x64) echo x86_64-w64-mingw32 ;;
    *) echo "ARCH is x86 or x64, not '${1:-$ARCH}'" >&2; return 2 ;;
  esac
}

route_driver() {
  local dir
  dir=$(dirname "$1")
  if [ "$(basename "$dir")" = drivers ]; then echo "$1"; else echo "$dir/drivers/$(basename "$1")"; fi
}
