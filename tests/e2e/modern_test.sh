#!/usr/bin/env bash
# Scenes drawn the OpenGL 3.3 way (scenes/modern/), through tools/capture.
#   modern_test.sh BUILD_DIR pictures
set -uo pipefail
build=$1 scenario=$2
here=$(cd "$(dirname "$0")" && pwd)
capture() { "$here/../../tools/capture" --no-build "$@"; }
work=$build/tests/modern/$scenario
rm -rf "$work"
mkdir -p "$work"
fail() { echo "FAIL: $*"; exit 1; }

case $scenario in
  pictures)
    # The square of a vertex buffer, a vertex array and shaders with the frame's matrices, the
    # shaders in the scene's text or in files beside it (scenes/shaded/), pictures as the fixed
    # pipeline's does, within capture's own tolerance; one program resized to each size.
    sizes=800x400,400x800,517x333
    capture --sizes $sizes --out "$work/square" "$build/Square.exe" || fail "capture of Square failed"
    for scene in Modern_buffers ShaderBeside; do
      said=$(capture --sizes $sizes --out "$work/$scene" --reference "$work/square" \
        "$build/drivers/$scene.exe" 2>&1) || fail "$scene does not picture as Square: $said"
      echo "$scene pictures as Square at $sizes"
    done
    # The example: at 0 s its triangle is the classic one; a second later a quarter turn.
    capture --size 600x450 --out "$work/triangle.png" "$build/Triangle.exe" || fail "capture of Triangle failed"
    said=$(capture --size 600x450 --out "$work/shaded.png" --reference "$work/triangle.png" \
      "$build/drivers/Shaded.exe" 2>&1) || fail "Shaded at 0 s is not the classic triangle: $said"
    capture --size 600x450 --time 1 --out "$work/shaded@1.png" "$build/drivers/Shaded.exe" ||
      fail "capture of Shaded at 1 s failed"
    # Turned a quarter anticlockwise, the red corner (bottom left at 0 s) is at bottom right.
    corner=$(timeout 30 convert "$work/shaded@1.png" -crop 1x1+440+390 \
      -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
    read -r r g b <<<"$corner"
    [ "$r" -gt 150 ] && [ "$g" -lt 100 ] && [ "$b" -lt 100 ] ||
      fail "at 1 s the bottom right is $corner, not red"
    echo "Shaded at 0 s is the classic triangle, at 1 s a quarter turned"
    ;;
  *) fail "unknown scenario $scenario" ;;
esac
