"""A class as a teacher has it: a folder of NAME.cpp files, a folder of per-submission folders as a
course site's bulk download holds them (`Full Name_ID_assignsubmission_file_/`, the students' own
file names inside), or a .zip of either. What comes out is one Submission a student.

A zip is hostile until read: each member's name is checked before anything is written, links are
refused, and only what the grader reads (sources and headers) is unpacked, each to at most one
byte more than the grader reads of a file, with the bytes actually inflated counted against a
bound for the class. The rest is known by name only.
"""
import os
import re
import stat
import zipfile
import zlib

from report import printable, student_name
from submission import SOURCE_LIMIT

MEMBER_LIMIT = 10000  # files and folders in a class: a course site's download of 300 students is far less
UNPACKED_LIMIT = 64 << 20  # bytes of sources unpacked for a class; a class of 300 writes a few MiB
SOURCES = (".cpp",)
HEADERS = (".h", ".hpp")
# The course site's folder of one submission: the student's full name (underscores made spaces by
# the site), the participant ID the site matches feedback by, and the plugin it came through
# (assignsubmission_file, assignsubmission_onlinetext, ...). Newer sites leave out the last "_".
SITE_FOLDER = re.compile(r"(?P<name>.+)_(?P<id>\d+)_assignsubmission_[a-z0-9]+_?")
IGNORED_TOPS = ("__MACOSX",)  # what an archiver adds beside the class: resource forks


class Unsafe(Exception):
    """The class cannot be taken as it is (a zip that could harm the machine, or too many
    files): why, in words."""


class Submission:
    """One student's work as it came: their name and the site's ID ("" when the folder gives
    none), the names of the folders it came in (feedback goes back under those; a lone NAME.cpp
    gives NAME), the files a build reads (.cpp and headers: [(name inside the submission, path)]),
    and the names of the rest."""

    def __init__(self, student, id_="", folders=None, files=None, others=None):
        self.student, self.id = student, id_
        self.folders, self.files, self.others = folders or [], files or [], others or []

    def sources(self):
        return [name for name, _ in self.files if is_source(name)]


def is_source(name):
    return name.lower().endswith(SOURCES)


def is_read(name):
    """Whether the build reads a file of that name: a source or a header beside it."""
    return name.lower().endswith(SOURCES + HEADERS)


def parse_folder(name):
    """(student, ID) from a folder's name: the course site's form gives both; any other name is
    the student's, with no ID."""
    m = SITE_FOLDER.fullmatch(name)
    if m and m.group("name").strip():
        return m.group("name").strip(), m.group("id")
    return name, ""


def take(path, work):
    """The class at PATH (a folder, or a zip unpacked into WORK): ([Submission], [ignored names]).
    Raises Unsafe."""
    if os.path.isdir(path):
        return group(*walk(path))
    return group(*unwrap(*unpack(path, work)))


def walk(top):
    """Every entry under the folder TOP: files as (parts, path) and folders as parts. A link is
    never followed: it is listed as a file, which the grader then refuses to read."""
    files, folders, pending = [], [], [()]
    while pending:
        parts = pending.pop()
        with os.scandir(os.path.join(top, *parts)) as entries:
            for entry in entries:
                if len(files) + len(folders) >= MEMBER_LIMIT:
                    raise Unsafe("it holds more than %d files and folders" % MEMBER_LIMIT)
                if entry.is_dir(follow_symlinks=False):
                    folders.append(parts + (entry.name,))
                    pending.append(parts + (entry.name,))
                else:
                    files.append((parts + (entry.name,), entry.path))
    return files, folders


def member_parts(info):
    """A zip member's name as path parts, or Unsafe: nothing absolute, no `..`, no backslash (a
    Windows separator that would mean another folder there), and no link or special file."""
    name = info.filename
    kind = stat.S_IFMT(info.external_attr >> 16)
    if kind == stat.S_IFLNK:
        raise Unsafe("%s is a symbolic link" % printable(name))
    if kind not in (0, stat.S_IFREG, stat.S_IFDIR):
        raise Unsafe("%s is a special file" % printable(name))
    parts = name[:-1].split("/") if name.endswith("/") else name.split("/")
    if "\\" in name or re.match(r"[A-Za-z]:", name) or any(p in ("", ".", "..") for p in parts):
        raise Unsafe("%s has a name that would reach outside the class" % printable(name))
    return tuple(parts)


def unpack(archive, dest):
    """The members of the zip ARCHIVE: files as (parts, path in DEST, or None for those not
    unpacked) and folders as parts. Only what the grader reads is written, into DEST (made for
    root alone), each file to at most SOURCE_LIMIT + 1 bytes. Raises Unsafe."""
    try:
        with zipfile.ZipFile(archive) as zip_file:
            infos = zip_file.infolist()
            if len(infos) > MEMBER_LIMIT:
                raise Unsafe("it holds %d files and folders, more than %d" % (len(infos), MEMBER_LIMIT))
            members = [(member_parts(info), info) for info in infos]  # every name checked first
            os.makedirs(dest, mode=0o700)
            files, folders, written = [], [], 0
            for parts, info in members:
                if info.is_dir():
                    folders.append(parts)
                elif not is_read(parts[-1]):
                    files.append((parts, None))
                else:
                    path = os.path.join(dest, *parts)
                    written += unpack_member(zip_file, info, path, UNPACKED_LIMIT - written)
                    files.append((parts, path))
            return files, folders
    except (zipfile.BadZipFile, zlib.error, EOFError, NotImplementedError, RuntimeError) as error:
        raise Unsafe("it is not a zip that can be read: %s" % printable(str(error)))
    except OSError as error:
        raise Unsafe("it cannot be unpacked: %s" % printable(str(error)))


def unpack_member(zip_file, info, path, room):
    """Inflates one member into PATH, at most SOURCE_LIMIT + 1 bytes of it (the grader reads no
    more of a file), counting what is inflated, not what the zip declares; returns the bytes
    written. Raises Unsafe past ROOM bytes."""
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    try:
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o600)
    except FileExistsError:
        raise Unsafe("%s is in it twice" % printable(info.filename))
    size = 0
    with os.fdopen(fd, "wb") as out, zip_file.open(info) as member:
        while size <= SOURCE_LIMIT:
            chunk = member.read(min(1 << 16, SOURCE_LIMIT + 1 - size))
            if not chunk:
                break
            size += len(chunk)
            if size > room:
                raise Unsafe("it unpacks to more than %d MiB of sources (a zip bomb?)" % (UNPACKED_LIMIT >> 20))
            out.write(chunk)
    return size


def unwrap(files, folders):
    """A zip's entries taken from inside the one folder that holds them all, unless that is a
    student's: a class zipped with the folder it sat in."""
    folders = set(folders) | {parts[:i] for parts, _ in files for i in range(1, len(parts))}
    tops = {parts[0] for parts, _ in files} | {parts[0] for parts in folders}
    if len(tops) == 1 and (min(tops),) in folders and not parse_folder(min(tops))[1]:
        return [(parts[1:], path) for parts, path in files if len(parts) > 1], \
            [parts[1:] for parts in folders if len(parts) > 1]
    return files, folders


def group(files, folders):
    """Submissions from a class's entries ([(parts, path)] and [parts]): each top folder is one
    (the course site's folders of one student, say file and online text, are one), each top
    NAME.cpp is one; other top files are ignored."""
    folders = set(folders) | {parts[:i] for parts, _ in files for i in range(1, len(parts))}
    tops = {parts[0] for parts, _ in files} | {parts[0] for parts in folders}
    found, ignored = {}, []
    for top in sorted(tops):
        name = student_name(top)
        if (top,) in folders and top not in IGNORED_TOPS:
            student, id_ = parse_folder(name)
            submission = found.setdefault((student, id_) if id_ else ("", top), Submission(student, id_))
            submission.folders.append(name)
            for parts, path in files:
                if parts[0] == top:
                    inside = "/".join(parts[1:])
                    if path is not None and is_read(inside):
                        submission.files.append((inside, path))
                    else:
                        submission.others.append(student_name(inside))
        elif is_source(top) and (top,) not in folders:
            path = next(path for parts, path in files if parts == (top,))
            found[("", top)] = Submission(name[:-4], folders=[name[:-4]], files=[(top, path)])
        else:
            ignored.append(name)
    return list(found.values()), ignored
