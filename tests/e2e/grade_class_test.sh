#!/usr/bin/env bash
# tools/grade on a class of fixtures, one for each way a submission goes: each gets its verdict,
# no student's code reaches a file or port outside its sandbox or a namespace of its own, nothing
# is left running, and the report shows every picture in a real browser. Bad usage is told with
# exit code 2.
#   grade_class_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/e2e/grade_common.sh"

# Bad usage first: nothing is built for it.
expect_usage() {
  local message status
  message=$(timeout 60 "$root/tools/grade" "${@:2}" 2>&1)
  status=$?
  [ $status -eq 2 ] && grep -q -- "$1" <<<"$message" || fail "'${*:2}' gave $status: $message"
}
mkdir -p "$work/empty"
expect_usage 'no folder of submissions' --reference "$root/examples/Square.cpp" "$work/none"
expect_usage "--sizes takes WxH" --reference "$root/examples/Square.cpp" --sizes 800by600 "$work/empty"
expect_usage 'no pictures named by size' --reference "$work/empty" "$work/empty"
expect_usage 'the reference' --reference "$fixtures/broken.cpp" "$work/empty"

# The class: a fixture for each verdict, one that tries every way out of its sandbox under a name
# with a space, a non-ASCII letter, markup and shell characters (and draws the square: the pass of
# a correct scene), a file that is not a scene, and three scenes with shaders.
class=$work/class outside=$work/outside
mkdir -p "$class" "$outside"
cp "$fixtures"/{distorted,broken,null,greedy,peek,garbled,bomb,spinner}.cpp "$class/"
odd="Zoë <i>O'Brien; \$(touch pwned)"
escape=$class/$odd
mkdir "$escape" && cp "$fixtures/escape/"* "$escape/"
echo "read me" >"$class/notes.txt"
# Scenes with a shader pair beside them, loaded when they run: white (passes), red (differs),
# and one whose fragment shader has an error at line 5.
for name in shaded tinted misshaded; do
  mkdir "$class/$name" && cp "$fixtures/shaded/"{Scene.cpp,Mine.vert,Mine.frag} "$class/$name/"
done
sed -i 's/vec4(1.0, 1.0, 1.0/vec4(1.0, 0.0, 0.0/' "$class/tinted/Mine.frag"
sed -i '5s/);$/;/' "$class/misshaded/Mine.frag"
echo "the teacher's" >"$outside/secret.txt"
touch -d '2020-01-01' "$outside/secret.txt"
# Windows paths of the host's files, as the program sees them through drive Z:.
z() { printf 'Z:%s' "$1" | sed 's|/|\\\\\\\\|g'; }
# A port the host listens on, which a sandbox with the network could reach.
exec {listener}< <(exec timeout 900 python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8); print(s.getsockname()[1], flush=True)
time.sleep(900)')
listener_pid=$!
trap 'kill $listener_pid; rm -rf "$work"' EXIT
read -r port <&"$listener"
sed -i -e "s|@SECRET@|$(z "$outside/secret.txt")|" -e "s|@OTHER@|$(z "$class/distorted.cpp")|" \
  -e "s|@WRITE@|$(z "$outside/escaped.txt")|" -e "s|@PORT@|$port|" "$escape/snoop.cpp"
grep -q 'Z:\\\\' "$escape/snoop.cpp" || fail "the paths did not go into snoop.cpp"

out=$work/out
grade grade.log --reference "$root/examples/Square.cpp" "$class" --out "$out" --timeout 20 --jobs 2 ||
  fail "tools/grade exited with $?"
expect distorted differs
expect broken "does not compile"
expect null crashed
expect greedy crashed
expect peek "does not compile"
expect garbled "error box"
expect bomb hung
expect spinner pass
# Nothing got out, and every way was tried (it says which did, or what it could not prove).
grep -qF "$odd,792x573,0,pass," "$out/results.csv" ||
  fail "a way out of the sandbox: $(grep -F "$odd," "$out/results.csv" | head -1)"
expect shaded pass
expect tinted differs
expect misshaded "error box"
# The shader's error at its line, in the student's own file's name, escaped on the pages.
grep -qF 'misshaded,792x573,0,error box,,"Mine.frag:5: error: syntax error, unexpected' "$out/results.csv" ||
  fail "the shader's error is not in results.csv at its line: $(grep '^misshaded,' "$out/results.csv" | head -1)"
grep -qF "<p class=detail>Mine.frag:5: error: syntax error, unexpected &#x27;" "$out/report.html" ||
  fail "the shader's error is not on the report, escaped"
timeout 20 unzip -p "$out/feedback.zip" misshaded/feedback.html | grep -qF "Mine.frag:5: error: syntax error, unexpected &#x27;" ||
  fail "the shader's error is not on the student's page"
grep -q "^bomb,.*limit of 256 processes" "$out/results.csv" || fail "the process limit is not named"
grep -q "^garbled,792x573,0,error box,,\"'=HYPERLINK" "$out/results.csv" || fail "a formula reached results.csv as one"
grep -q '^peek,.*Scene.cpp: No such file' "$out/results.csv" || fail "a source file beside the headers was in reach"
grep -q $'\x1b' "$work/grade.log" "$out/results.csv" && fail "terminal escapes reached the terminal or results.csv"
grep -q "^greedy,.*memory limit" "$out/results.csv" || fail "the memory limit is not named"
grep -q "^broken,.*broken.cpp:[0-9]*:[0-9]*: error" "$out/results.csv" || fail "no compiler message with file and line"
[ "$(grep -c '^distorted,' "$out/results.csv")" -eq 4 ] || fail "not one row per size"
grep -q 'ignored: notes.txt' "$work/grade.log" || fail "notes.txt is not listed as ignored"
grep -Eq '^grade: each sandbox: memory 1024 MiB, no swap, 256 processes, [0-9.]+ processors? \([0-9.]+ in all, of [0-9]+\), disk 256 MiB, /tmp 256 MiB, files 256 MiB each, namespaces, mounts, ptrace, BPF and io_uring refused, 20 s a step;' "$work/grade.log" ||
  fail "the limits in force are not read back and told: $(grep 'each sandbox' "$work/grade.log")"
grep -q '^Graded 12 submissions at 4 sizes' "$work/grade.log" || fail "no closing summary"

# Nothing got out, nothing was run by the name.
[ ! -e "$outside/escaped.txt" ] || fail "a submission wrote outside its sandbox"
[ "$(cat "$outside/secret.txt")" = "the teacher's" ] || fail "the file outside changed"
[ "$(find "$work" -name pwned | wc -l)" -eq 0 ] || fail "a name was run as a command"

# The report as a browser shows it: every picture loads, every verdict is there.
dom=$(timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/chromium" --virtual-time-budget=5000 --dump-dom "file://$out/report.html" 2>/dev/null)
grep -q 'data-broken="0"' <<<"$dom" || fail "pictures missing in the report: $(grep -o 'data-[a-z]*="[0-9]*"' <<<"$dom")"
pictures=$(grep -o 'data-pictures="[0-9]*"' <<<"$dom" | tr -dc 0-9)
[ "${pictures:-0}" -ge 27 ] || fail "the report shows ${pictures:-no} pictures"
for verdict in pass differs "does not compile" crashed hung "error box"; do
  grep -q "class=\"verdict\">$verdict<" <<<"$dom" || fail "the report does not show '$verdict'"
done
grep -qF "Zoë &lt;i&gt;O'Brien; \$(touch pwned)" <<<"$dom" || fail "the odd name is not shown as it is"

grade_finish "every verdict right, nothing escaped, the report complete"
