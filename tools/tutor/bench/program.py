"""Side-by-side benchmark of the tutorial program and a plain Win32 baseline under Wine.

Run through tools/bench, which builds both and provides the X display and the Wine prefix.
Each round runs both programs, in turn (A B, B A, A B ...), so that both see the same machine
load; the report gives min / median / max of each figure and the ratio of the medians.
"""
import argparse
import datetime
import os
import platform
import re
import statistics
import subprocess
import sys
import time

from tutor.contract import CAPTION
from tutor.tree import ROOT

# The loader of the build's width, as the Wine session chose it.
WINE = os.environ.get("WINE", "wine")
RELAY_TIMEOUT = 120  # seconds for the frames of a program traced with +relay


def now():
    # NOTE: Wine's +timestamp is NtGetTickCount, which reads CLOCK_MONOTONIC_RAW.
    return time.clock_gettime(time.CLOCK_MONOTONIC_RAW)


def run_once(exe, seconds, log_dir, name):
    """One run: launch, frames for `seconds`, resident memory, then Esc. Returns the figures."""
    log_path = os.path.join(log_dir, name + ".log")
    env = dict(os.environ, WINEDEBUG="+timestamp,+fps")
    with open(log_path, "w") as log:
        launched = now()
        proc = subprocess.Popen([WINE, exe], stdout=log, stderr=log, env=env)
    window = None
    deadline = time.time() + 30
    while not window and time.time() < deadline:
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % CAPTION], timeout=10,
                             capture_output=True, text=True).stdout
        window = out.split()[-1] if out.split() else None
        if not window:
            time.sleep(0.02)
    if not window:
        proc.kill()
        raise RuntimeError("%s: no window" % exe)

    # Frames for `seconds` from the first one on.
    while not any(":trace:fps:" in l for l in open(log_path, errors="replace")):
        if time.time() > deadline:
            proc.kill()
            raise RuntimeError("%s: no frame presented" % exe)
        time.sleep(0.02)
    time.sleep(seconds)
    rss_kib = resident_kib(proc.pid)
    # Focus first, then time only the key press and what follows it.
    subprocess.run(["xdotool", "windowactivate", "--sync", window], capture_output=True, timeout=10)
    pressed = now()
    subprocess.run(["xdotool", "key", "Escape"], capture_output=True, timeout=10)
    try:
        code = proc.wait(timeout=20)
    except subprocess.TimeoutExpired:
        proc.kill()
        raise RuntimeError("%s: still running 20 s after Esc" % exe)
    exited = now()
    if code != 0:
        raise RuntimeError("%s exited with code %d" % (exe, code))

    fps_lines = [l for l in open(log_path, errors="replace") if ":trace:fps:" in l]
    if len(fps_lines) < 2:
        raise RuntimeError("%s: too few frame-rate reports in %s" % (exe, log_path))
    first_frame = float(fps_lines[0].split(":")[0])
    total_fps = float(re.search(r"total ([0-9.]+)fps", fps_lines[-1]).group(1))
    return {
        "fps": total_fps,
        "startup_ms": (first_frame - launched) * 1000,
        "esc_ms": (exited - pressed) * 1000,
        "rss_mib": rss_kib / 1024,
    }


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def calls_per_frame(exe, log_dir, name, objdump):
    """The Win32 and OpenGL calls the program itself makes between two buffer swaps, from a
    +relay log: calls whose return address lies in the executable's own image."""
    headers = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, timeout=60).stdout
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    size = int(re.search(r"^SizeOfImage\s+([0-9a-fA-F]+)", headers, re.M).group(1), 16)
    log_path = os.path.join(log_dir, name + "-relay.log")
    env = dict(os.environ, WINEDEBUG="+relay")
    call = re.compile(r"^([0-9a-f]{4}):Call ([\w.]+)\(.*\) ret=([0-9a-f]+)$")
    own, swaps, pending = [], [], b""  # the functions called from the executable, and where it swapped
    with open(log_path, "w") as log:
        proc = subprocess.Popen([WINE, exe], stdout=log, stderr=log, env=env)
    try:
        # Read as it is written, until the frames needed are in: +relay slows a program down
        # many times, the more so on a loaded machine.
        deadline = time.monotonic() + RELAY_TIMEOUT
        with open(log_path, "rb") as log:
            while len(swaps) < 12 and time.monotonic() < deadline:
                line = pending + log.readline()
                if not line.endswith(b"\n"):  # nothing new yet, or a line still being written
                    pending = line
                    if proc.poll() is not None:
                        break
                    time.sleep(0.05)
                    continue
                pending = b""
                m = call.match(line.decode("utf-8", "replace").strip())
                if m and base <= int(m.group(3), 16) < base + size:
                    own.append(m.group(2))
                    if m.group(2).endswith("SwapBuffers"):
                        swaps.append(len(own) - 1)
    finally:
        proc.kill()
        proc.wait(timeout=30)
    if len(swaps) < 12:
        raise RuntimeError("%s: only %d frames in the relay log" % (exe, len(swaps)))
    # Steady state: the frame between the 10th and the 11th swap.
    return own[swaps[9] + 1:swaps[10] + 1]


def toolchain_prefix(exe):
    """The MinGW-w64 tools that read this executable: by the machine in its PE header."""
    with open(exe, "rb") as f:
        header = f.read(4096)
    pe = int.from_bytes(header[0x3C:0x40], "little")
    machine = int.from_bytes(header[pe + 4:pe + 6], "little")
    return "x86_64-w64-mingw32" if machine == 0x8664 else "i686-w64-mingw32"


def imports(exe, objdump):
    headers = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, timeout=60).stdout
    return sorted(set(m.lower() for m in re.findall(r"DLL Name: (\S+)", headers)))


def stripped_size(exe, strip):
    out = exe + ".stripped"
    subprocess.run([strip, "-o", out, exe], check=True, timeout=60)
    size = os.path.getsize(out)
    os.remove(out)
    return size


def spread(values):
    return "%s / %s / %s" % tuple(fmt(v) for v in (min(values), statistics.median(values), max(values)))


def fmt(v):
    return "%.0f" % v if abs(v) >= 100 else "%.2f" % v


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True)
    parser.add_argument("--command", default="tools/bench")
    parser.add_argument("--rounds", type=int, default=10)
    parser.add_argument("--seconds", type=float, default=6.0, help="frames per run before Esc")
    parser.add_argument("--quick", action="store_true", help="one short round, to prove it works")
    parser.add_argument("--out", help="report file (default docs/measured/benchmarks.md; none with --quick or "
                                      "--calibrate, which print it)")
    parser.add_argument("--calibrate", action="store_true",
                        help="measure the baseline against itself: the noise floor of the ratios")
    args = parser.parse_args()
    if args.quick:
        args.rounds, args.seconds = 1, 2.0
    if args.rounds < 1 or args.seconds < 2:
        parser.error("--rounds must be at least 1 and --seconds at least 2")

    root = ROOT
    programs = {"baseline": os.path.join(args.build, "bench", "Baseline.exe"),
                "tutorial": os.path.join(args.build, "Tutorial.exe")}
    if args.calibrate:
        programs["tutorial"] = programs["baseline"]
    prefix = toolchain_prefix(programs["tutorial"])
    objdump, strip = prefix + "-objdump", prefix + "-strip"
    log_dir = os.path.join(args.build, "bench-logs")
    os.makedirs(log_dir, exist_ok=True)

    # A first run of each, not counted: the first start on a fresh display pays for fonts, the
    # desktop process and GL driver caches, whichever program comes first.
    for name, exe in programs.items():
        run_once(exe, 2.0, log_dir, name + "-warmup")

    results = {name: [] for name in programs}
    for r in range(args.rounds):
        # A B, then B A: a drift in the machine's load falls on both alike.
        order = list(programs.items())
        for name, exe in (order if r % 2 == 0 else order[::-1]):
            figures = run_once(exe, args.seconds, log_dir, "%s-%d" % (name, r))
            results[name].append(figures)
            print("round %d %-8s %s" % (r + 1, name, "  ".join("%s %s" % (k, fmt(v))
                                                            for k, v in figures.items())),
                  flush=True)
    frame_calls = {name: calls_per_frame(exe, log_dir, name, objdump) for name, exe in programs.items()}

    rows = [("frames per second while idle", "fps", "≥ 0.98"),
            ("start-up to first frame (ms)", "startup_ms", "≤ 1.10"),
            ("Esc to exit while frames spin (ms)", "esc_ms", "≤ 1.10"),
            ("resident memory after %g s of frames (MiB)" % args.seconds, "rss_mib", "≤ +1 MiB")]
    lines = ["| figure | baseline min / median / max | tutorial min / median / max | ratio of medians | target | met |",
             "|---|---|---|---|---|---|"]
    failures = []
    for label, key, target in rows:
        a = [f[key] for f in results["baseline"]]
        b = [f[key] for f in results["tutorial"]]
        ratio = statistics.median(b) / statistics.median(a)
        if key == "fps":
            met = ratio >= 0.98
        elif key == "rss_mib":
            met = statistics.median(b) <= statistics.median(a) + 1
            target = "≤ baseline + 1 MiB (difference %+.2f MiB)" % (statistics.median(b) - statistics.median(a))
        else:
            met = ratio <= 1.10
        if not met:
            failures.append(label)
        lines.append("| %s | %s | %s | %.3f | %s | %s |" % (label, spread(a), spread(b), ratio, target,
                                                           "yes" if met else "**no**"))
    sizes = {n: (os.path.getsize(e), stripped_size(e, strip)) for n, e in programs.items()}
    lines.append("| executable size, as built / stripped (bytes) | %d / %d | %d / %d | %.2f (stripped) | reported | |"
                 % (sizes["baseline"] + sizes["tutorial"] + (sizes["tutorial"][1] / sizes["baseline"][1],)))
    per_frame = {n: ", ".join(c) for n, c in frame_calls.items()}
    extra = [c for c in frame_calls["tutorial"] if c not in frame_calls["baseline"]]
    calls_met = len(frame_calls["tutorial"]) <= len(frame_calls["baseline"]) and not extra
    if not calls_met:
        failures.append("calls per idle frame")
    lines.append("| calls per idle frame | %d: %s | %d: %s | | none beyond the baseline's | %s |"
                 % (len(frame_calls["baseline"]), per_frame["baseline"], len(frame_calls["tutorial"]),
                    per_frame["tutorial"], "yes" if calls_met else "**no**"))
    imports_line = "Imported DLLs: baseline %s; tutorial %s." % (
        ", ".join(imports(programs["baseline"], objdump)), ", ".join(imports(programs["tutorial"], objdump)))

    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    wine = subprocess.run([WINE, "--version"], capture_output=True, text=True, timeout=30).stdout.strip()
    report = "\n".join([
        "# Measured: the tutorial against the bare platform loop", "",
        "Written by `tools/bench`; what each figure is and how it is taken: [../benchmarks.md](../benchmarks.md).", "",
        "Measured %s on %s (%d cores, %s), %s, Mesa llvmpipe on Xvfb with openbox." % (
            datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            platform.node(), os.cpu_count(), cpu, wine), "",
        "Command: `%s` — %d rounds, the baseline and the tutorial in turn (A B, B A, ...), %g s "
        "of frames each before Esc." % (args.command, args.rounds, args.seconds), "",
        *lines, "",
        imports_line, ""])
    # A quick or calibrating run is no measurement of the program: it never replaces the one on record.
    if args.out or not (args.quick or args.calibrate):
        out = args.out or os.path.join(root, "docs", "measured", "benchmarks.md")
        with open(out, "w") as f:
            f.write(report)
        print("Wrote " + out)
    else:
        print(report)
    if failures:
        print("Targets missed: " + ", ".join(failures))
    return 0


if __name__ == "__main__":
    sys.exit(main())
