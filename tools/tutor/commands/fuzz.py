"""tools/fuzz [SECONDS]: fuzzes the form definition reader natively with libFuzzer,
AddressSanitizer and UndefinedBehaviorSanitizer for SECONDS (default 60), starting from the real
definitions. Findings land in build-fuzz/ (FUZZ_DIR another) as crash-*, timeout-* or leak-*
files."""
import glob
import os
import re
import shutil
import signal
import subprocess
import sys
import threading

from tutor import tree
from tutor.commands import Exit, setup
from tutor.outside import call, stop

COMPILE_TIMEOUT = 600
# The fuzzer's lines worth showing: the end, its count of runs, a finding.
SHOWN = re.compile(r"^(#[0-9]+\s+DONE|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)")


def main(argv):
    seconds = argv[0] if argv else "60"
    if not re.fullmatch(r"[1-9][0-9]*", seconds):
        raise Exit("fuzz", "SECONDS must be a whole number above 0, not '%s'" % seconds, 2)
    work = os.environ.get("FUZZ_DIR") or os.path.join(tree.ROOT, "build-fuzz")
    code = setup()
    if code:
        return code
    os.makedirs(os.path.join(work, "corpus"), exist_ok=True)
    fuzzer = os.path.join(work, "form-definition-fuzzer")
    framework = os.path.join(tree.ROOT, "framework")
    sources = [os.path.join(tree.ROOT, "fuzz", "FormDefinitionFuzzer.cpp"),
               os.path.join(framework, "FormDefinition.cpp")]
    if not os.access(fuzzer, os.X_OK) or any(os.path.getmtime(f) > os.path.getmtime(fuzzer)
                                              for f in sources + [os.path.join(framework, "FormDefinition.h")]):
        code = call(["clang++", "-std=c++17", "-g", "-O1", "-Wall", "-Wextra", "-I" + framework,
                     "-fsanitize=fuzzer,address,undefined", "-fno-sanitize-recover=all"] + sources + ["-o", fuzzer],
                    COMPILE_TIMEOUT)
        if code:
            return code
    for definition in [os.path.join(tree.ROOT, "res", "Tutorial.form")] + sorted(
            glob.glob(os.path.join(tree.ROOT, "tests", "product", "forms", "*.form"))):
        shutil.copy(definition, os.path.join(work, "corpus"))

    # NOTE: -timeout makes a hang a finding; -max_len leaves room for long lines.
    process = subprocess.Popen([fuzzer, "-max_total_time=" + seconds, "-timeout=5", "-max_len=8192",
                                "-dict=" + os.path.join(tree.ROOT, "fuzz", "form.dict"), "-print_final_stats=1",
                                "corpus"], cwd=work, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    late = threading.Timer(int(seconds) + 120, stop, [process])
    late.start()
    try:
        with open(os.path.join(work, "last-run.log"), "wb") as log:
            for line in process.stdout:
                log.write(line)
                if SHOWN.search(line.decode("utf-8", "replace")):
                    sys.stdout.buffer.write(line)
                    sys.stdout.flush()
        code = process.wait()
    except BaseException as error:
        stop(process, getattr(error, "signum", signal.SIGTERM))
        raise
    finally:
        late.cancel()
    if code != 0:
        raise Exit("fuzz", "a finding; see %s/last-run.log and the crash-* file in %s" % (work, work), 1)
    return 0
