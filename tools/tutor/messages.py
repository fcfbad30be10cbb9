"""The messages of a scene's exception in compiler form: LoadProgram raises one line a message,
"PATH:LINE: error: TEXT" (or "warning:"; "PATH: error: TEXT" when it has no line), PATH as the
scene's source was compiled (its folder) followed by the shader's name. Here they are told at the
path the student knows, as the findings are (tutor/findings.py), so that a student reads
exercises/Mine.frag:5 and an editor's problem matcher (.vscode/tasks.json) takes it.

    Message.parse(line)                     one line, or None
    student_path(path, root, names)         a compiled path as the student knows it
    told(text, root, names)                 (messages made plain at the student's paths, the rest)
    account(text, root, names)              (those messages, one line's worth of what happened)
"""
import os
import re
from typing import NamedTuple, Optional

from tutor import contract, hostile

_LINE = re.compile(r"(.+?)(?::([0-9]{1,9}))?: (error|warning): (.*)")


class Message(NamedTuple):
    file: str
    line: Optional[int]
    severity: str  # "error" or "warning"
    text: str

    @classmethod
    def parse(cls, line):
        """The message of one line in compiler form, its text made plain; None for any other."""
        m = _LINE.fullmatch(line.rstrip("\r"))
        # (Not a compiler's own "FILE:LINE:COLUMN:", whose FILE would end in ":LINE".)
        if not m or not m.group(1).strip() or re.search(r":[0-9]+$", m.group(1)):
            return None
        return cls(m.group(1), int(m.group(2)) if m.group(2) else None, m.group(3), hostile.printable(m.group(4)))

    def __str__(self):
        where = self.file if self.line is None else "%s:%d" % (self.file, self.line)
        return "%s: %s: %s" % (where, self.severity, self.text)


def student_path(path, root=None, names=None):
    """PATH as compiled, told as the student knows it: NAMES maps a compiled source's path to the
    student's name for it, and a file beside a source (a shader, named from the source's folder)
    gets that name's folder; else a path under ROOT is told from ROOT; else it stays."""
    names = names or {}
    if path in names:
        return names[path]
    # The longest folder first: a source in a subfolder of another's.
    for compiled, given in sorted(names.items(), key=lambda item: -len(item[0])):
        folder = compiled[:max(compiled.rfind("/"), compiled.rfind("\\")) + 1]
        if folder and path.startswith(folder):
            return given[:given.rfind("/") + 1] + path[len(folder):]
    if root and os.path.isabs(path) and path.startswith(root.rstrip("/") + "/"):
        return os.path.relpath(path, root)
    return path


def told(text, root=None, names=None):
    """The lines of an exception's TEXT (as contract.report_line gives it): ([Message] at the
    student's paths, each once, made plain; [the other lines, as they are])."""
    found, seen, rest = [], set(), []
    for line in contract.text_lines(text):
        message = Message.parse(line)
        if message:
            message = message._replace(file=hostile.printable(student_path(message.file, root, names)))
            if message not in seen:  # (a set: a submission's text may be thousands of lines)
                seen.add(message)
                found.append(message)
        elif line:
            rest.append(line)
    return found, rest


def account(text, root=None, names=None):
    """([message lines] to print as they are, one line's worth of what happened: TEXT, its lines
    joined, or, when they are messages, "the error above" and the like). NOTE: that line never
    holds a message, which a problem matcher would take at a path that is not one."""
    found, rest = told(text, root, names)
    if not found:
        return [], " ".join(rest)
    errors = sum(m.severity == "error" for m in found)
    said = "%s above" % ("the error" if errors == 1 else "%d errors" % errors if errors else
                         "the warning" if len(found) == 1 else "%d warnings" % len(found))
    return [str(m) for m in found], "; ".join(rest + [said])
