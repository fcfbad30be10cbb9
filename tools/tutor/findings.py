"""What the recorder of a scene's GL calls found in a frame (harness/Recorder.cpp): a driver writes
the findings of each picture it takes beside it, WxH@T.txt, one a line, "FILE:LINE: KIND: TEXT"
(contract.py), FILE as the scene was compiled. Here they are read with a bound, since a grader
reads them from a sandbox, their FILE made the name the student knows, told once each, and
written as a student sees them (and an editor's problem matcher reads them).

    read(path) / read_folder(folder)      the findings of one file / of a folder of pictures
    Finding.parse(line)                   one line, or None
    shown(findings, root, names)          FILE as the student knows it, each finding once
"""
import os
import re
from typing import NamedTuple

from tutor import contract, hostile

_LINE = re.compile(r"(.+?):([0-9]{1,9}): (%s): (.+)" % "|".join(map(re.escape, contract.FINDING_KINDS)))
_MORE = re.compile(re.escape(contract.MORE_LINE_START) + r" ([0-9]{1,9}) more")


class Finding(NamedTuple):
    file: str
    line: int
    kind: str
    text: str

    @classmethod
    def parse(cls, line):
        """The finding of one line of a findings file, its text made plain; None for any other."""
        m = _LINE.fullmatch(line.rstrip("\r"))
        if not m:
            return None
        return cls(m.group(1), int(m.group(2)), m.group(3), hostile.printable(m.group(4)))

    def __str__(self):
        return contract.finding_line(self.file, self.line, self.kind, self.text)


class Read(NamedTuple):
    """The findings of a file or folder, and how many more the driver counted and cut."""
    findings: list
    more: int = 0


def parse(text):
    """The findings of a findings file's TEXT (str): its lines that are findings, each once, and
    the count of its last line, "... and N more", if it has one."""
    findings, more = [], 0
    for line in text.splitlines()[:contract.MAX_FINDINGS + 1]:
        finding = Finding.parse(line)
        if finding and finding not in findings:
            findings.append(finding)
        m = _MORE.fullmatch(line.rstrip("\r"))
        if m:
            more += int(m.group(1))
    return Read(findings, more)


def read(name, folder=None):
    """The findings of the file NAME (relative to the FOLDER descriptor, if given), read within
    the contract's bound, a link never followed; nothing when it is missing or not a file."""
    try:
        data, _ = hostile.read_regular(name, contract.MAX_FINDINGS_BYTES, folder)
    except hostile.NotRegular:
        return Read([])
    return parse(data.decode("utf-8", "replace"))


def read_folder(path):
    """The findings of every picture in the folder PATH, in the order of the pictures (by size,
    then time), each once: {shot name "WxH@T": Read}, and all of them together."""
    try:
        folder = hostile.open_folder(path)
    except hostile.NotRegular:
        return {}, Read([])
    try:
        stems = sorted((name[:-4] for name in os.listdir(folder) if name.endswith(".txt")
                        and contract.parse_picture_name(name[:-4] + ".png")), key=_order)
        each = {stem: read(stem + ".txt", folder) for stem in stems}
    finally:
        os.close(folder)
    together = []
    for found in each.values():
        together += [f for f in found.findings if f not in together]
    return each, Read(together, sum(found.more for found in each.values()))


def _order(stem):
    size, _, time_ = stem.partition("@")
    width, height = contract.parse_size("", size)
    return width, height, float(time_)


def shown(findings, root=None, names=None):
    """FINDINGS with FILE as the student knows it, each finding once: NAMES maps a compiled path
    to a name (the grader's submission files); else a path under ROOT is told from ROOT
    (exercises/Mine.cpp); else the path stays as it was compiled."""
    out = []
    for finding in findings:
        path = finding.file
        if names and path in names:
            path = names[path]
        elif root and os.path.isabs(path) and path.startswith(root.rstrip("/") + "/"):
            path = os.path.relpath(path, root)
        moved = finding._replace(file=hostile.printable(path))
        if moved not in out:
            out.append(moved)
    return out


def lines(found, root=None, names=None):
    """The findings of a Read as lines a student reads, the count of those cut last."""
    out = [str(f) for f in shown(found.findings, root, names)]
    return out + ([contract.more_line(found.more)] if found.more else [])
