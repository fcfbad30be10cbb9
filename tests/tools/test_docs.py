"""The pages a user reads: every fault of tools/tutor/faults.d/ is named in docs/testing.md under
the test that catches it, every relative link of README.md and docs/ leads to a file (and a
heading, when it names one), and every table has as many cells in each row as in its head."""
import os
import re

import pytest

from tutor.faults import read_faults

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
PAGES = [os.path.join(ROOT, "README.md")] + sorted(
    os.path.join(folder, name) for folder, _, names in os.walk(os.path.join(ROOT, "docs"))
    for name in names if name.endswith(".md"))


def prose(path):
    """The page's lines, those of fenced and indented code blocks blank, code spans emptied."""
    lines, fenced, code, previous = [], False, False, ""
    with open(path, encoding="utf-8") as f:
        for line in f.read().split("\n"):
            fence = line.startswith("```")
            fenced ^= fence
            code = not fenced and line.startswith("    ") and (code or not previous.strip())
            lines.append("" if fence or fenced or code else re.sub(r"`[^`]*`", "``", line))
            previous = line
    return lines


def anchors(path):
    """GitHub's anchors for a page's headings."""
    return {re.sub(r"[^\w\- ]", "", line.lstrip("#").strip().lower()).replace(" ", "-")
            for line in prose(path) if line.startswith("#")}


def test_every_fault_is_named_on_the_testing_page():
    with open(os.path.join(ROOT, "docs", "testing.md"), encoding="utf-8") as f:
        named = set(re.findall(r"\b[A-Z]+[0-9]+\b", f.read()))
    missing = [f.ident for f in read_faults(os.path.join(ROOT, "tools", "tutor", "faults.d"))
               if f.ident not in named]
    assert not missing, "docs/testing.md does not name: " + ", ".join(missing)


@pytest.mark.parametrize("page", PAGES, ids=lambda p: os.path.relpath(p, ROOT))
def test_every_relative_link_leads_somewhere_and_every_table_is_whole(page):
    broken, tables = [], []
    lines = prose(page)
    for number, line in enumerate(lines, 1):
        for target in re.findall(r"\]\(([^)\s]+)\)", line):
            if re.match(r"[a-z]+:", target):
                continue
            path, _, anchor = target.partition("#")
            path = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            if not os.path.exists(path):
                broken.append("%d: %s" % (number, target))
            elif anchor and path.endswith(".md") and anchor not in anchors(path):
                broken.append("%d: %s (no such heading)" % (number, target))
        if line.startswith("|"):
            cells = len(re.findall(r"(?<!\\)\|", line))
            if not tables or lines[number - 2][:1] != "|":
                tables.append(cells)
            elif cells != tables[-1]:
                broken.append("%d: a row of %d cells in a table of %d" % (number, cells - 1, tables[-1] - 1))
    assert not broken, "\n".join(broken)
