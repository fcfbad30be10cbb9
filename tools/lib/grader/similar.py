"""Which students handed in near-identical code, by Debian's similarity tester (sim_c++), which
compares token by token: layout, comments and names do not count. The starter code the teacher
handed out is taken out first, so two students who both kept it are not alike for that.

sim_c++ reads copies of the students' .cpp files under plain generated names in a folder of its
own, with a time limit; what it prints is parsed as untrusted text, and only the names it was
given count.
"""
import os
import re

from outside import run_limited

THRESHOLD = 80  # percent of each one's code found in the other's
SIM_TIMEOUT = 60
SIM = "sim_c++"


def name_of(index):
    return "s%03d.cpp" % index


def parse_runs(text, names):
    """The lines of each file that sim_c++ -n matched with starter.cpp: {name: [(first, last)]}."""
    runs = {}
    for line in text.splitlines():
        m = re.fullmatch(r"(s\d{3}\.cpp): line (\d{1,7})-(\d{1,7})\s*\|starter\.cpp: line \d{1,7}-\d{1,7}\s*\[\d+\]",
                         line.strip())
        if m and m.group(1) in names and int(m.group(2)) <= int(m.group(3)):
            runs.setdefault(m.group(1), []).append((int(m.group(2)), int(m.group(3))))
    return runs


def parse_percentages(text, names):
    """What sim_c++ -p says of each pair: {(a, b): percent of a's tokens found in b}."""
    shares = {}
    for line in text.splitlines():
        m = re.fullmatch(r"(s\d{3}\.cpp) consists for (\d{1,3}) % of (s\d{3}\.cpp) material", line.strip())
        if m and m.group(1) in names and m.group(3) in names and m.group(1) != m.group(3) and int(m.group(2)) <= 100:
            key = (m.group(1), m.group(3))
            shares[key] = max(shares.get(key, 0), int(m.group(2)))
    return shares


def blank(text, runs):
    """TEXT with the lines of RUNS (1-based, inclusive) emptied, the others where they were."""
    lines = text.split(b"\n")
    for first, last in runs:
        for number in range(first - 1, min(last, len(lines))):
            lines[number] = b""
    return b"\n".join(lines)


def near_identical(texts, starter, folder):
    """Pairs of keys of TEXTS ({key: the student's .cpp files as bytes}) whose code is
    near-identical once the STARTER's (bytes, or None) is taken out: [(a, b, percent of a in b,
    percent of b in a)], each at least THRESHOLD; and why none could be found, or ""."""
    keys = sorted(texts)
    names = {name_of(i): key for i, key in enumerate(keys, 1)}
    os.makedirs(folder, mode=0o700)
    for name, key in names.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(texts[key])
    if len(names) < 2:
        return [], ""
    if starter is not None:
        with open(os.path.join(folder, "starter.cpp"), "wb") as f:
            f.write(starter)
        # Each file against the starter alone (-S): the lines that came from it.
        result = run_limited([SIM, "-S", "-n", "-T"] + sorted(names) + ["/", "starter.cpp"], SIM_TIMEOUT, cwd=folder)
        if result.returncode != 0:
            return [], failed(result)
        for name, runs in parse_runs(result.stdout, names).items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(blank(texts[names[name]], runs))
    # Each pair in isolation, both ways (-e -a): exact shares, not the first file's alone.
    result = run_limited([SIM, "-p", "-e", "-a", "-T", "-t", str(THRESHOLD)] + sorted(names), SIM_TIMEOUT, cwd=folder)
    if result.returncode != 0:
        return [], failed(result)
    shares = parse_percentages(result.stdout, names)
    pairs = []
    for (a, b), share in sorted(shares.items()):
        back = shares.get((b, a), 0)
        if a < b and min(share, back) >= THRESHOLD:
            pairs.append((names[a], names[b], share, back))
    return pairs, ""


def groups(pairs):
    """The keys that pairs ([(a, b), ...]) join, each group sorted: twenty copies of one file are
    one group, not 190 pairs."""
    joined = []
    for a, b in pairs:
        group = {a, b}
        for other in [g for g in joined if g & group]:
            group |= other
            joined.remove(other)
        joined.append(group)
    return sorted(sorted(g) for g in joined)


def failed(result):
    if result.returncode == 124:
        return "the similarity check took more than %d s" % SIM_TIMEOUT
    return "the similarity check failed: %s" % (" ".join(result.stderr.split())[:200] or
                                               "exit code %d" % result.returncode)
