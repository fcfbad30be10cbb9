#!/usr/bin/env bash
# Pictures of the exercises, taken by tools/capture, checked pixel by pixel.
#   capture_test.sh BUILD_DIR square WxH | empty | spinning | reference
set -uo pipefail
build=$1 scenario=$2
here=$(cd "$(dirname "$0")" && pwd)
capture() { "$here/../../tools/capture" --no-build "$@"; }
work=$build/tests/pictures
mkdir -p "$work"
fail() { echo "FAIL: $*"; exit 1; }

case $scenario in
  square)
    # Black and white only, the white a solid square where the projection puts -3..3: the
    # shorter side spanned exactly, centred along the longer one. (Every size here centres it
    # on whole pixels.)
    size=$3 w=${3%x*} h=${3#*x}
    capture --size "$size" --out "$work/square-$size.png" "$build/Square.exe" || fail "capture failed"
    side=$((w < h ? w : h))
    # A black border of one pixel, so that even a square filling the picture has an edge.
    expected="${side}x$side+$(((w - side) / 2 + 1))+$(((h - side) / 2 + 1)) 2 $((side * side))"
    found=$(convert "$work/square-$size.png" -colorspace Gray -bordercolor black -border 1 \
      -format '%@ %k %[fx:round(mean*w*h)]' info:)
    [ "$found" = "$expected" ] || fail "white box, colours, white pixels: $found; expected $expected"
    echo "the square fills $found"
    ;;
  empty)
    capture --out "$work/empty.png" "$build/Tutorial.exe" || fail "capture failed"
    brightest=$(convert "$work/empty.png" -format '%[fx:maxima]' info:)
    [ "$brightest" = 0 ] || fail "the empty scene is not black (brightest value $brightest)"
    echo "all black"
    ;;
  spinning)
    capture --wait 0.5 --out "$work/spin-early.png" "$build/Spinning.exe" || fail "capture failed"
    capture --wait 1.5 --out "$work/spin-late.png" "$build/Spinning.exe" || fail "capture failed"
    differing=$(compare -metric AE -fuzz 2% "$work/spin-early.png" "$work/spin-late.png" null: 2>&1)
    [ "$differing" -gt 1000 ] || fail "the pictures a second apart differ in $differing pixels only"
    echo "a second apart, $differing pixels differ"
    ;;
  reference)
    capture --out "$work/triangle.png" "$build/Triangle.exe" || fail "capture failed"
    message=$(capture --reference "$work/triangle.png" "$build/Triangle.exe" 2>&1) ||
      fail "the same picture taken again does not match: $message"
    message=$(capture --out "$work/square.png" --reference "$work/triangle.png" "$build/Square.exe" 2>&1)
    status=$?
    [ $status -ne 0 ] || fail "a wrong reference passed: $message"
    grep -Eq '[0-9]+ pixels differ from' <<<"$message" || fail "no pixel count in: $message"
    message=$(capture --reference "$work/missing.png" "$build/Square.exe" 2>&1)
    [ $? -eq 2 ] && grep -q 'no reference picture' <<<"$message" || fail "a missing reference: $message"
    message=$(capture --size 10by10 "$build/Square.exe" 2>&1)
    [ $? -eq 2 ] && grep -q -- '--size takes WxH' <<<"$message" || fail "a bad size: $message"
    echo "the same picture matches; wrong, missing and malformed arguments fail with a message"
    ;;
  *) fail "unknown scenario $scenario" ;;
esac
