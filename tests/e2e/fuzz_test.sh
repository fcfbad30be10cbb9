#!/usr/bin/env bash
# The definition reader, built with the sanitizers by tools/fuzz, on every cut of each real
# definition, also with its strings ending in each escape and its numbers stretched past any
# int: each cut must give a definition or an exception naming its place, never a read out of
# bounds or an overflow. Every input is fixed, so a finding is found on every run.
#   fuzz_test.sh SOURCE_DIR     (FUZZ_DIR: where tools/fuzz builds)
set -uo pipefail
root=$1
dir=${FUZZ_DIR:?the folder tools/fuzz builds in}
cuts=$dir/cuts
# A second of fuzzing builds the fuzzer; what it finds fails the test too.
timeout 900 "$root/tools/fuzz" 1 || exit 1
rm -rf "$cuts"
mkdir -p "$cuts"
timeout 60 python3 - "$cuts" "$root/res/Tutorial.form" "$root"/tests/product/forms/*.form <<'PY' || exit 1
import re, sys
count = 0
for path in sys.argv[2:]:
    text = open(path, "rb").read()
    escaped = re.sub(rb'"([^"\n]*)"', lambda m: b'"' + m[1] + b'\\"\\\\"', text)
    stretched = re.sub(rb"(= *-?)([0-9]+)", lambda m: m[1] + m[2] + b"9" * 20, text)
    for variant in {text, escaped, stretched}:
        for end in range(1, len(variant) + 1):
            count += 1
            open("%s/%06d" % (sys.argv[1], count), "wb").write(variant[:end])
print("fuzz_test: %d cuts" % count)
PY
# NOTE: -runs=0 runs the inputs given and mutates none.
timeout 120 "$dir/form-definition-fuzzer" -runs=0 "$cuts" >"$dir/cuts.log" 2>&1
status=$?
grep -E '==[0-9]+==ERROR|runtime error|SUMMARY|message without' "$dir/cuts.log"
[ $status -eq 0 ] || { echo "FAIL: the reader failed on a cut (exit $status); see $dir/cuts.log"; exit 1; }
echo "every cut read within bounds"
