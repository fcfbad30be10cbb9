#!/usr/bin/env bash
# Pictures of the exercises, taken by tools/capture, checked pixel by pixel.
#   capture_test.sh BUILD_DIR square | empty | spinning | screen | reference | shaded
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
    # on whole pixels.) One program resized to each size in turn, as a user would.
    sizes=(800x400 400x800 600x600 517x333)
    capture --sizes "$(IFS=,; echo "${sizes[*]}")" --out "$work/square" "$build/Square.exe" || fail "capture failed"
    for size in "${sizes[@]}"; do
      w=${size%x*} h=${size#*x}
      side=$((w < h ? w : h))
      # A black border of one pixel, so that even a square filling the picture has an edge.
      expected="${side}x$side+$(((w - side) / 2 + 1))+$(((h - side) / 2 + 1)) 2 $((side * side))"
      found=$(timeout 30 convert "$work/square/$size@0.png" -colorspace Gray -bordercolor black -border 1 \
        -format '%@ %k %[fx:round(mean*w*h)]' info:)
      [ "$found" = "$expected" ] || fail "at $size white box, colours, white pixels: $found; expected $expected"
      echo "at $size the square fills $found"
    done
    ;;
  empty)
    capture --out "$work/empty.png" "$build/Tutorial.exe" || fail "capture failed"
    brightest=$(convert "$work/empty.png" -format '%[fx:maxima]' info:)
    [ "$brightest" = 0 ] || fail "the empty scene is not black (brightest value $brightest)"
    echo "all black"
    ;;
  spinning)
    # Pictures at a scene time do not depend on when they are taken: the same time twice is the
    # same picture, another time another one, and the square is where the clock puts it.
    capture --size 600x600 --times 0.25,0.5,1 --out "$work/spin" "$build/Spinning.exe" || fail "capture failed"
    capture --size 600x600 --time 0.25 --out "$work/spin-again.png" "$build/Spinning.exe" || fail "capture failed"
    same=$(compare -metric AE "$work/spin/600x600@0.25.png" "$work/spin-again.png" null: 2>&1)
    [ "$same" = 0 ] || fail "two pictures at 0.25 s differ in $same pixels"
    differing=$(compare -metric AE -fuzz 2% "$work/spin/600x600@0.25.png" "$work/spin/600x600@0.5.png" null: 2>&1)
    [ "$differing" -gt 1000 ] || fail "the pictures at 0.25 and 0.5 s differ in $differing pixels only"
    # At 0.5 s, 45 degrees: the square of side 4 stands on a corner, its diagonal 4 * sqrt(2)
    # units (566 pixels at 100 a unit) along each axis, centred.
    # The tips are thinner than a pixel: a few may not be drawn.
    box=$(convert "$work/spin/600x600@0.5.png" -format '%@' info:)
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || fail "no square at 45 degrees: $box"
    for side in "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"; do
      [ $((side - 566)) -le 1 ] && [ $((566 - side)) -le 4 ] || fail "at 45 degrees the square fills $box"
    done
    [ $((2 * BASH_REMATCH[3] + BASH_REMATCH[1])) -eq 600 ] && [ $((2 * BASH_REMATCH[4] + BASH_REMATCH[2])) -eq 600 ] ||
      fail "at 45 degrees the square is not centred: $box"
    # At 1 s, a quarter turn anticlockwise: the orange corner, bottom left at 0 s, is bottom right.
    corner=$(convert "$work/spin/600x600@1.png" -crop 1x1+495+495 \
      -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
    read -r r g b <<<"$corner"
    [ "$r" -gt 220 ] && [ "$g" -gt 90 ] && [ "$g" -lt 170 ] && [ "$b" -lt 50 ] ||
      fail "after a quarter turn the bottom right corner is $corner, not orange"
    echo "the same time gives the same picture; at 45 degrees the square fills $box"
    ;;
  screen)
    # The program's own picture of its frame is what the screen shows.
    capture --size 517x333 --out "$work/frame.png" "$build/Triangle.exe" || fail "capture failed"
    message=$(capture --screen --size 517x333 --out "$work/screen.png" --reference "$work/frame.png" \
      --fuzz 0 --tolerance 0 "$build/Triangle.exe" 2>&1) || fail "the screen differs from the program's picture: $message"
    echo "the screen shows the program's picture to the pixel"
    ;;
  reference)
    # A folder of pictures by size and time, as a teacher hands them out.
    capture --sizes 300x200,200x300 --times 0,1 --out "$work/set" "$build/Spinning.exe" || fail "capture failed"
    [ "$(ls "$work/set" | tr '\n' ' ')" = "200x300@0.png 200x300@1.png 300x200@0.png 300x200@1.png " ] ||
      fail "the set is $(ls "$work/set")"
    message=$(capture --sizes 300x200,200x300 --times 0,1.0 --out "$work/set-again" --reference "$work/set" \
      "$build/Spinning.exe" 2>&1) || fail "the same set does not match its folder: $message"
    # One picture as the reference: the same scene's matches, another scene's fails by a count.
    one=$work/set/300x200@0.png
    message=$(capture --size 300x200 --reference "$one" "$build/Spinning.exe" 2>&1) ||
      fail "the same picture taken again does not match: $message"
    message=$(capture --size 300x200 --out "$work/square.png" --reference "$one" "$build/Square.exe" 2>&1)
    status=$?
    [ $status -ne 0 ] || fail "a wrong reference passed: $message"
    grep -Eq '[0-9]+ pixels differ from' <<<"$message" || fail "no pixel count in: $message"
    message=$(capture --time 0.5 --size 300x200 --reference "$work/set" "$build/Spinning.exe" 2>&1)
    [ $? -eq 1 ] && grep -q 'no reference .*300x200@0.5.png' <<<"$message" || fail "a picture with no reference: $message"
    message=$(capture --reference "$work/missing.png" "$build/Square.exe" 2>&1)
    [ $? -eq 2 ] && grep -q 'no reference picture' <<<"$message" || fail "a missing reference: $message"
    message=$(capture --size 10by10 "$build/Square.exe" 2>&1)
    [ $? -eq 2 ] && grep -q -- '--size takes WxH' <<<"$message" || fail "a bad size: $message"
    # The driver keeps the tools' contract (the unit tests hold contract.py to Contract.h).
    said=$(timeout --foreground 30 "${WINE:-wine}" "$build/drivers/Square.exe" --contract 2>&1 | tr -d '\r')
    kept=$(PYTHONPATH="$here/../../tools" python3 -m tutor.contract text)
    [ "$said" = "$kept" ] || fail "the driver's contract is not contract.py's: $(diff <(echo "$said") <(echo "$kept") | head -4)"
    echo "the same picture matches; wrong, missing and malformed arguments fail with a message"
    ;;
  shaded)
    # A scene whose shader pair beside its source LoadProgram reads when it runs (scenes/shaded/):
    # the driver finds them from any folder; a fragment shader with an error at line 5 fails the
    # capture with the error at its line, the path told from the project's root, and no picture.
    (cd / && capture --size 320x240 --out "$work/shaded.png" "$build/drivers/ShaderBeside.exe") || fail "capture failed"
    centre=$(timeout 30 convert "$work/shaded.png" -gravity center -crop 1x1+0+0 -format '%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]' info:)
    [ "$centre" = 255,255,255 ] || fail "the shader's colour is not drawn: $centre"
    message=$(cd / && capture --size 320x240 --out "$work/misshaded.png" "$build/drivers/Misshaded.exe" 2>&1)
    [ $? -eq 1 ] || fail "a broken shader did not fail the capture: $message"
    frag=$(realpath --relative-to="$here/../.." "$build/tests/e2e/misshaded/Mine.frag")
    [[ $(head -1 <<<"$message") == "$frag:5: error: syntax error"* ]] &&
      [[ $(tail -1 <<<"$message") =~ ^capture:\ Misshaded.exe:\ exception:\ (the\ error|[0-9]+\ errors)\ above$ ]] ||
      fail "the broken shader was told as: $message"
    [ ! -e "$work/misshaded.png" ] || fail "a picture was written of a scene that failed"
    echo "the shader beside the scene found; its error told at its line"
    ;;
  *) fail "unknown scenario $scenario" ;;
esac
