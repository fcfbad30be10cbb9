"""What a student hands in or a sandbox leaves, taken as hostile: files read only as they are (a
link never followed, a pipe never opened) and never past a bound, output held to its start and
end, names that may be any bytes shown as text, and text made plain where it lands (a terminal,
a spreadsheet).
"""
import errno
import os
import stat

OUTPUT_KEPT = 64 << 10  # bytes kept of a step's output at its start, and as many at its end


def student_name(entry):
    """A file name as text, whatever bytes it has: one that is not UTF-8 (an old archiver's
    Latin-1) shows its odd bytes as U+FFFD, the same everywhere it is shown."""
    return os.fsencode(entry).decode("utf-8", "replace")


def printable(text):
    """A student's text as plain characters: no control characters, terminal escapes included."""
    return "".join(c if c.isprintable() else " " for c in text).strip()[:500]


def cell(text):
    """A student's text as a spreadsheet shows it, never as a formula it would compute."""
    text = printable(text)
    return "'" + text if text[:1] in ("=", "+", "-", "@") else text


def size_in_words(count):
    """Bytes as a person reads them: "512 bytes", "64 KiB", "3.0 GiB"."""
    if count < 1024:
        return "%d bytes" % count
    for unit in ("KiB", "MiB", "GiB", "TiB"):
        count /= 1024
        if count < 1024 or unit == "TiB":
            return ("%d %s" if count == int(count) else "%.1f %s") % (count, unit)


class Output:
    """What a step writes, held to OUTPUT_KEPT bytes at its start and as many at its end; what
    lies between is counted, not kept, however much it is."""

    def __init__(self, kept=OUTPUT_KEPT):
        self.kept, self.head, self.tail, self.total = kept, bytearray(), bytearray(), 0

    def add(self, chunk):
        self.total += len(chunk)
        room = self.kept - len(self.head)
        if room > 0:
            self.head += chunk[:room]
            chunk = chunk[room:]
        if chunk:
            self.tail += chunk
            del self.tail[:-self.kept]

    def text(self):
        skipped = self.total - len(self.head) - len(self.tail)
        middle = b"\n[... %s more ...]\n" % size_in_words(skipped).encode() if skipped else b""
        return (bytes(self.head) + middle + bytes(self.tail)).decode("utf-8", "replace")


class NotRegular(Exception):
    """What was to be read is a link, a folder or a special file, or is missing."""


def open_folder(path):
    """A descriptor of the folder at PATH, its last part not followed if it is a link: a
    sandbox's user may have put a link where its folder was. Raises NotRegular."""
    try:
        return os.open(path, os.O_RDONLY | os.O_DIRECTORY | os.O_NOFOLLOW)
    except OSError as error:
        raise NotRegular(describe(path) if error.errno in (errno.ELOOP, errno.ENOTDIR) else error.strerror)


def read_regular(name, limit, folder=None):
    """The bytes of a regular file, at most LIMIT of them, and whether there were more: NAME is
    opened without following a link (relative to the FOLDER descriptor, if given), and neither a
    pipe nor a device is ever read. Raises NotRegular."""
    try:
        fd = os.open(name, os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK | os.O_NOCTTY, dir_fd=folder)
    except OSError as error:
        if error.errno == errno.ENOENT:
            raise NotRegular("missing")
        raise NotRegular(describe(name, folder) if error.errno == errno.ELOOP else error.strerror)
    if not stat.S_ISREG(os.fstat(fd).st_mode):
        os.close(fd)
        raise NotRegular(describe(name, folder))
    with os.fdopen(fd, "rb") as f:
        data = f.read(limit + 1)
    return data[:limit], len(data) > limit


def describe(name, folder=None):
    """What kind of thing is at NAME, in words, its link not followed."""
    try:
        mode = os.stat(name, dir_fd=folder, follow_symlinks=False).st_mode
    except OSError:
        return "missing"
    kinds = ((stat.S_ISLNK, "a symbolic link"), (stat.S_ISDIR, "a folder"), (stat.S_ISREG, "a file"))
    return next((words for test, words in kinds if test(mode)), "a special file")
