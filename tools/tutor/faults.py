#!/usr/bin/env python3
"""Puts each fault of a list into a copy of the tree in turn, rebuilds, runs the tests and
records which fail. Run through tools/faults, which provides the Wine session."""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time


class Fault:
    def __init__(self, ident, path, what):
        self.ident, self.path, self.what = ident, path, what
        self.old, self.new, self.runs = [], [], None


def read_faults(path):
    """The faults of a list, or of every NAME.list in a folder (tools/tutor/faults.d/); an ID
    given twice ends the tool."""
    if os.path.isdir(path):
        faults = [fault for name in sorted(os.listdir(path)) if name.endswith(".list")
                  for fault in read_faults(os.path.join(path, name))]
        idents = [fault.ident for fault in faults]
        twice = sorted({ident for ident in idents if idents.count(ident) > 1})
        if twice:
            sys.exit("%s: fault %s is given twice" % (path, twice[0]))
        return faults
    faults = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            heading = re.match(r"== (\S+) (\S+): (.+)", line)
            if heading:
                faults.append(Fault(*heading.groups()))
            elif not line.strip() or line.startswith("#"):
                continue
            elif not faults:
                sys.exit("%s:%d: a fault's lines before its '==' line" % (path, number))
            elif line.startswith("- "):
                faults[-1].old.append(line[2:].strip())
            elif line.startswith("+ "):
                faults[-1].new.append(line[2:].strip())
            elif line.startswith("runs: "):
                faults[-1].runs = line[6:].strip()
            else:
                sys.exit("%s:%d: not a fault's line: %s" % (path, number, line))
    for fault in faults:
        if not fault.old:
            sys.exit("%s: fault %s changes no line" % (path, fault.ident))
    return faults


def with_fault(text, fault):
    """The text with the fault's lines replaced, indented as the first line they replace."""
    lines = text.split("\n")
    stripped = [line.strip() for line in lines]
    k = len(fault.old)
    found = [i for i in range(len(lines) - k + 1) if stripped[i:i + k] == fault.old]
    if len(found) != 1:
        raise ValueError("%s: the lines of fault %s occur %d times, not once" % (fault.path, fault.ident, len(found)))
    i = found[0]
    indent = lines[i][:len(lines[i]) - len(lines[i].lstrip())]
    return "\n".join(lines[:i] + [indent + line for line in fault.new] + lines[i + k:])


def copy_tree(root, copy):
    """The tracked files as they stand in root, uncommitted changes included; a file already
    the same keeps its time, so the build in the copy stays incremental."""
    files = subprocess.run(["git", "-C", root, "ls-files", "-z"], check=True, capture_output=True).stdout
    for name in files.decode().split("\0"):
        if not name or not os.path.isfile(os.path.join(root, name)):
            continue
        source, target = os.path.join(root, name), os.path.join(copy, name)
        if os.path.exists(target):
            with open(source, "rb") as a, open(target, "rb") as b:
                if a.read() == b.read():
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(source, target)


def end_leftovers(copy):
    """Ends what a test left running (a hung program outlives a test killed at its timeout),
    so that it does not slow the next fault's tests: every process started from the copy."""
    copy = os.path.realpath(copy)
    windows = "Z:" + copy.replace("/", "\\")
    for pid in (p for p in os.listdir("/proc") if p.isdigit() and int(p) != os.getpid()):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                command = f.read().decode(errors="replace")
        except OSError:
            continue
        if copy + "/" in command or windows + "\\" in command:
            try:
                os.kill(int(pid), 9)
            except OSError:
                pass


class SuiteDidNotRun(Exception):
    pass


def failing_tests(build, ctest_args):
    """The names of the tests that fail. NOTE: ctest stops before any test when listing a test
    executable's cases fails; that is no pass, so it is tried again, then reported."""
    log = os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log")
    for _ in range(2):
        if os.path.exists(log):
            os.remove(log)
        result = subprocess.run(["ctest", "--timeout", "30"] + ctest_args, cwd=build, timeout=3600,
                                capture_output=True, text=True, errors="replace")
        end_leftovers(os.path.dirname(build))
        if os.path.exists(log):
            with open(log) as f:
                return {line.strip().split(":", 1)[1] for line in f if ":" in line}
        if result.returncode == 0 and "tests passed" in result.stdout:
            return set()
    raise SuiteDidNotRun((result.stdout + result.stderr)[-1500:])


def run_suite(builds, runs):
    """The tests that fail: the unit tests, and the suite under Wine less the per-route tests but
    those RUNS names."""
    unit, build = builds
    failed = failing_tests(unit, []) | failing_tests(build, ["-LE", "per-route"])
    if runs:
        failed |= failing_tests(build, ["-R", runs])
    return failed


def build_tree(builds):
    for build in builds:
        result = subprocess.run(["cmake", "--build", build], capture_output=True, text=True, timeout=3600)
        if result.returncode != 0:
            return False, result.stdout + result.stderr
    return True, ""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--copy", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--toolchain", required=True)
    parser.add_argument("--list", required=True)
    parser.add_argument("--only", help="the faults to put in, by ID, comma-separated")
    parser.add_argument("--case-timeout", type=int, default=20,
                        help="seconds a test may run before it fails (20): a fault may hang it")
    parser.add_argument("--out", help="the table in Markdown (default: standard output)")
    args = parser.parse_args()

    # Ended from outside: the file with the fault is put back all the same.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    faults = read_faults(args.list)
    if args.only:
        wanted = set(args.only.split(","))
        unknown = wanted - {f.ident for f in faults}
        if unknown:
            parser.error("no fault " + ", ".join(sorted(unknown)))
        faults = [f for f in faults if f.ident in wanted]
    copy_tree(args.root, args.copy)
    subprocess.run(["cmake", "-S", args.copy, "-B", args.build, "-G", "Ninja",
                    "-DTUTORIAL_TEST_TIMEOUT=%d" % args.case_timeout,
                    "-DCMAKE_TOOLCHAIN_FILE=%s/cmake/%s.cmake" % (args.copy, args.toolchain)],
                   check=True, stdout=subprocess.DEVNULL)
    # The unit tests, built for this machine beside it.
    builds = (os.path.join(os.path.dirname(args.build), "build-unit"), args.build)
    subprocess.run(["cmake", "-S", os.path.join(args.copy, "tests", "unit"), "-B", builds[0], "-G", "Ninja"],
                   check=True, stdout=subprocess.DEVNULL, timeout=600)
    originals = {}
    for fault in faults:
        path = os.path.join(args.copy, fault.path)
        with open(path, encoding="utf-8") as f:
            originals.setdefault(fault.path, f.read())
        try:
            with_fault(originals[fault.path], fault)  # every fault applies before any is run
        except ValueError as error:
            sys.exit("faults: %s" % error)

    ok, output = build_tree(builds)
    if not ok:
        sys.exit("faults: the tree does not build without faults:\n" + output[-3000:])
    runs = "|".join(sorted({f.runs for f in faults if f.runs}))
    started = time.monotonic()
    broken = run_suite(builds, runs)
    if broken:  # once more: on a loaded machine a slow case may fail once
        broken &= run_suite(builds, runs)
    if broken:
        print("faults: without faults these fail already, and do not count: " + ", ".join(sorted(broken)),
              file=sys.stderr)
    print("faults: the suite without faults took %.0f s; %d faults to put in"
          % (time.monotonic() - started, len(faults)), file=sys.stderr)

    rows = []
    for fault in faults:
        path = os.path.join(args.copy, fault.path)
        started = time.monotonic()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(with_fault(originals[fault.path], fault))
            ok, output = build_tree(builds)
            if ok:
                caught = sorted(run_suite(builds, fault.runs) - broken)
            else:
                caught = None
        except SuiteDidNotRun as error:
            # A fault that breaks the listing of the tests fails the run all the same.
            caught = ["ctest stops before any test"]
            print("faults: %s: ctest stopped:\n%s" % (fault.ident, error), file=sys.stderr)
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(originals[fault.path])
        if caught is None:
            print("faults: %s does not build:\n%s" % (fault.ident, output[-2000:]), file=sys.stderr)
        print("%s %s: %s (%.0f s)" % (fault.ident, fault.what, "does not build" if caught is None
                                      else "%d fail: %s" % (len(caught), " ".join(caught)) if caught
                                      else "NOT CAUGHT", time.monotonic() - started), file=sys.stderr, flush=True)
        rows.append((fault, caught))
    build_tree(builds)  # the copy as it was, for the next run

    lines = ["| fault | what goes wrong | tests that fail |", "|---|---|---|"]
    for fault, caught in rows:
        cell = "does not build" if caught is None else "<br>".join(caught) if caught else "**none**"
        lines.append("| %s | %s (`%s`) | %s |" % (fault.ident, fault.what, fault.path, cell))
    missed = [f.ident for f, caught in rows if caught == []]
    lines.append("")
    lines.append("%d faults put in, %d caught%s." % (len(rows), sum(1 for _, c in rows if c),
                                                     ", none for " + ", ".join(missed) if missed else ""))
    text = "\n".join(lines) + "\n"
    if args.out:
        with open(args.out, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
