"""A class as a teacher has it: a folder of NAME.cpp files, a folder of per-submission folders as a
course site's bulk download holds them (`Full Name_ID_assignsubmission_file_/`, the students' own
file names inside), or a .zip of either. What comes out is one Submission a student.

A zip is hostile until read: each member's name is checked before anything is written, links are
refused, and only what the grader reads (sources, headers and the shaders a scene reads beside
them) is unpacked, each to at most one byte more than the grader reads of a file, with the bytes
actually inflated counted against a bound for the student and one for the class. The rest is
known by name only. What could harm
the machine refuses the class; what is one student's doing (an odd name in their folder, a file
twice, too much) refuses that student alone, and the rest are graded.
"""
import os
import re
import stat
import struct
import zipfile
import zlib

from tutor.hostile import printable, student_name

SOURCE_LIMIT = 1 << 20  # bytes of each file of a submission's scene that the grader reads
MEMBER_LIMIT = 10000  # files and folders in a class: a course site's download of 300 students is far less
UNPACKED_LIMIT = 64 << 20  # bytes of sources unpacked for a class; a class of 300 writes a few MiB
STUDENT_FILES = 64  # sources and headers of one student; a scene has a handful
STUDENT_BYTES = 8 << 20  # bytes of them; a scene's own are a few KiB
SOURCES = (".cpp",)
HEADERS = (".h", ".hpp")
# A scene's shaders, read by LoadProgram when it runs: taken, bounded and counted as its headers
# are, and placed beside its sources; nothing compiles them on the host.
SHADERS = (".vert", ".frag", ".glsl")
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
    and the names of the rest. REFUSED says why it is not built, or is "": a refused one's files
    are all among the rest."""

    def __init__(self, student, id_="", folders=None, files=None, others=None, refused=""):
        self.student, self.id = student, id_
        self.folders, self.files, self.others = folders or [], files or [], others or []
        self.refused = refused

    def sources(self):
        return [name for name, _ in self.files if is_source(name)]


def is_source(name):
    return name.lower().endswith(SOURCES)


def is_read(name):
    """Whether the build or the scene reads a file of that name: a source, a header or a shader
    beside it."""
    return name.lower().endswith(SOURCES + HEADERS + SHADERS)


def parse_folder(name):
    """(student, ID) from a folder's name: the course site's form gives both; any other name is
    the student's, with no ID."""
    m = SITE_FOLDER.fullmatch(name)
    if m and m.group("name").strip():
        return m.group("name").strip(), m.group("id")
    return name, ""


def owner(top):
    """The submission an entry whose first part is TOP belongs to, as group() keys it: one
    student's folders (file, online text) share their bounds."""
    student, id_ = parse_folder(student_name(top))
    return (student, id_) if id_ else ("", top)


def is_taken(parts):
    """Whether the grader reads the entry at PARTS: a source or header in a submission's folder,
    or a lone NAME.cpp."""
    return is_read(parts[-1]) and parts[0] not in IGNORED_TOPS and (len(parts) > 1 or is_source(parts[0]))


def over_bounds(files, size):
    """Why a student's FILES sources and headers of SIZE bytes are more than is taken, or ""."""
    if files > STUDENT_FILES:
        return "it has more than %d sources and headers" % STUDENT_FILES
    if size > STUDENT_BYTES:
        return "its sources and headers are over %d MiB" % (STUDENT_BYTES >> 20)
    return ""


def take(path, work):
    """The class at PATH (a folder, or a zip unpacked into WORK): ([Submission], [ignored names]).
    Raises Unsafe."""
    if os.path.isdir(path):
        return group(*walk(path))
    return group(*unpack(path, work))


def walk(top):
    """Every entry under the folder TOP: files as (parts, path), folders as parts, and why
    submissions are refused ({owner: reason}). A link is never followed: it is listed as a file,
    which the grader then refuses to read. What the grader would read is bounded as a zip's
    unpacking is, each file by its size up to what is read of it. Raises Unsafe."""
    files, folders, pending, taken = [], [], [()], {}
    try:
        while pending:
            parts = pending.pop()
            with os.scandir(os.path.join(top, *parts)) as entries:
                for entry in entries:
                    if len(files) + len(folders) >= MEMBER_LIMIT:
                        raise Unsafe("it holds more than %d files and folders" % MEMBER_LIMIT)
                    inside = parts + (entry.name,)
                    if entry.is_dir(follow_symlinks=False):
                        folders.append(inside)
                        pending.append(inside)
                        continue
                    files.append((inside, entry.path))
                    if is_taken(inside):
                        count, size = taken.get(owner(inside[0]), (0, 0))
                        size += min(entry.stat(follow_symlinks=False).st_size, SOURCE_LIMIT + 1)
                        taken[owner(inside[0])] = count + 1, size
    except OSError as error:
        raise Unsafe("it cannot be read: %s" % printable(str(error)))
    refused = {key: over_bounds(*counts) for key, counts in taken.items() if over_bounds(*counts)}
    if sum(size for key, (_, size) in taken.items() if key not in refused) > UNPACKED_LIMIT:
        raise Unsafe("it holds more than %d MiB of sources" % (UNPACKED_LIMIT >> 20))
    return files, folders, refused


class Listing:
    """The zip's file as zipfile reads its list of members: a name flagged as UTF-8 that is not
    (zipfile would refuse the whole zip for it) goes over unflagged, so that zipfile takes it as
    CP437; NOT_UTF8 gives such a name back as shown, its odd bytes U+FFFD ({as read: as
    shown}), for its student alone to answer for. Once LISTED, reads go through untouched."""

    def __init__(self, f):
        self.f, self.not_utf8, self.listed = f, {}, False

    def __getattr__(self, name):
        return getattr(self.f, name)

    def read(self, n=-1):
        data = self.f.read(n)
        if self.listed or data[:4] != b"PK\x01\x02":
            return data
        # zipfile reads the whole list at once: its entries one after another from the start.
        data, at = bytearray(data), 0
        while data[at:at + 4] == b"PK\x01\x02" and at + 46 <= len(data):
            flags, = struct.unpack_from("<H", data, at + 8)
            lengths = struct.unpack_from("<HHH", data, at + 28)
            name = bytes(data[at + 46:at + 46 + lengths[0]])
            if flags & 0x800 and not is_utf8(name):
                struct.pack_into("<H", data, at + 8, flags & ~0x800)
                self.not_utf8[name.decode("cp437")] = name.split(b"\0")[0].decode("utf-8", "replace")
            at += 46 + sum(lengths)
        return bytes(data)


def is_utf8(name):
    try:
        name.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def member_parts(info, name=None):
    """A zip member's name (NAME instead of the one zipfile read, if given) as path parts.
    Raises Unsafe for a link or special file, and for a name that would land outside the class
    however an unpacker takes it: absolute, drive-absolute (`C:/`, `C:\\`), or a `..` that
    climbs, with `/` or `\\` for a separator."""
    name = info.filename if name is None else name
    kind = stat.S_IFMT(info.external_attr >> 16)
    if kind == stat.S_IFLNK:
        raise Unsafe("%s is a symbolic link" % printable(name))
    if kind not in (0, stat.S_IFREG, stat.S_IFDIR):
        raise Unsafe("%s is a special file" % printable(name))
    depth = 0
    for step in re.split(r"[/\\]", name):
        if step == "..":
            depth -= 1
            if depth < 0:
                break
        elif step not in ("", "."):
            depth += 1
    if depth < 0 or name[:1] in ("/", "\\") or re.match(r"[A-Za-z]:([/\\]|$)", name):
        raise Unsafe("%s has a name that would reach outside the class" % printable(name))
    return tuple(name[:-1].split("/") if name.endswith("/") else name.split("/"))


def odd_name(parts):
    """What in the name of an entry at PARTS (inside the class) refuses its student: "" when
    it is a plain path."""
    if any("\\" in part for part in parts):
        return "a backslash"
    if any(part in ("", ".", "..") for part in parts):
        return "an empty, . or .. part"
    return ""


def shown(parts):
    """An entry's name as its student's verdict shows it: inside their folder, if it is in one."""
    return printable(student_name("/".join(parts[1:] if len(parts) > 1 else parts)))


def unpack(archive, dest):
    """The members of the zip ARCHIVE: files as (parts, path in DEST, or None for those not
    unpacked), folders as parts, and why submissions are refused ({owner: reason}). Only what the
    grader reads is written, into DEST (made for root alone), each file to at most
    SOURCE_LIMIT + 1 bytes, and nothing more of a student once refused. Raises Unsafe."""
    try:
        with open(archive, "rb") as f:
            listing = Listing(f)
            with zipfile.ZipFile(listing) as zip_file:
                listing.listed = True
                return unpack_members(zip_file, listing.not_utf8, dest)
    except (zipfile.BadZipFile, zlib.error, EOFError, NotImplementedError, RuntimeError, ValueError, OverflowError,
            struct.error) as error:
        raise Unsafe("it is not a zip that can be read: %s" % printable(str(error)))
    except OSError as error:
        raise Unsafe("it cannot be unpacked: %s" % printable(str(error)))


def unpack_members(zip_file, not_utf8, dest):
    """unpack() of an open zip, its members taken from inside the one folder that holds them all
    unless that is a student's (a class zipped with the folder it sat in)."""
    infos = zip_file.infolist()
    if len(infos) > MEMBER_LIMIT:
        raise Unsafe("it holds %d files and folders, more than %d" % (len(infos), MEMBER_LIMIT))
    members = [(member_parts(info, not_utf8.get(info.orig_filename)), info) for info in infos]  # all checked first
    skip = wrapped([(parts, info.is_dir()) for parts, info in members])
    refused = names_refused(members, skip, not_utf8)
    os.makedirs(dest, mode=0o700)
    files, folders, taken, written, seen = [], [], {}, 0, set()
    for parts, info in members:
        inside = parts[skip:]
        if not inside:  # the folder that holds the class
            continue
        if info.is_dir():
            folders.append(inside)
            continue
        key = owner(inside[0])
        count, size = taken.get(key, (0, 0))
        if key in refused or not is_taken(inside):
            files.append((inside, None))
            continue
        if inside in seen:
            refused[key] = "%s is in it twice" % shown(inside)
        elif count == STUDENT_FILES:
            refused[key] = over_bounds(count + 1, size)
        if key in refused:
            files.append((inside, None))
            continue
        seen.add(inside)
        path = os.path.join(dest, *parts)
        try:
            got = unpack_member(zip_file, info, path, min(STUDENT_BYTES - size, UNPACKED_LIMIT - written))
        except (FileExistsError, NotADirectoryError, IsADirectoryError):
            refused[key] = "%s is both a file and a folder in it" % shown(inside)
            files.append((inside, None))
            continue
        written += got
        if written > UNPACKED_LIMIT:
            raise Unsafe("it unpacks to more than %d MiB of sources (a zip bomb?)" % (UNPACKED_LIMIT >> 20))
        taken[key] = count + 1, size + got
        if over_bounds(*taken[key]):
            refused[key] = over_bounds(*taken[key])
        files.append((inside, path))
    return files, folders, refused


def names_refused(members, skip, not_utf8):
    """Why each student whose files' names cannot be taken as they are is refused ({owner: why}),
    from MEMBERS ((parts, info) of a zip, each SKIP parts deep in its wrapping folder)."""
    refused = {}
    for parts, info in members:
        inside = parts[skip:]
        if inside and inside[0] in ("", ".", ".."):
            raise Unsafe("%s has a name outside any student's folder that is not plain" % printable("/".join(parts)))
        if info.orig_filename in not_utf8 and "\ufffd" in "/".join(inside):
            refused.setdefault(owner(inside[0]), "%s has a name that is not UTF-8" % shown(inside))
        elif inside and odd_name(inside):
            refused.setdefault(owner(inside[0]), "%s has %s in its name" % (shown(inside), odd_name(inside)))
    return refused


def unpack_member(zip_file, info, path, room):
    """Inflates one member into PATH, at most SOURCE_LIMIT + 1 bytes of it (the grader reads no
    more of a file) and at most ROOM + 1, counting what is inflated, not what the zip declares;
    returns the bytes written, more than ROOM when it stopped for that. Raises FileExistsError
    and the like for a name taken already."""
    os.makedirs(os.path.dirname(path), mode=0o700, exist_ok=True)
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o600)
    size, limit = 0, min(SOURCE_LIMIT, room) + 1
    with os.fdopen(fd, "wb") as out, zip_file.open(info) as member:
        while size < limit:
            chunk = member.read(min(1 << 16, limit - size))
            if not chunk:
                break
            size += len(chunk)
            out.write(chunk)
    return size


def wrapped(members):
    """1 when a zip's members ([(parts, whether a folder)]) all sit in one folder that is not a
    student's (a class zipped with the folder it sat in), else 0: how many parts to skip."""
    tops = {parts[0] for parts, _ in members}
    if len(tops) == 1 and any(len(parts) > 1 or folder for parts, folder in members) and \
            not parse_folder(min(tops))[1]:
        return 1
    return 0


def group(files, folders, refused):
    """Submissions from a class's entries ([(parts, path)] and [parts]): each top folder is one
    (the course site's folders of one student, say file and online text, are one), each top
    NAME.cpp is one; other top files are ignored. REFUSED ({owner: reason}) marks those
    refused."""
    folders = set(folders) | {parts[:i] for parts, _ in files for i in range(1, len(parts))}
    tops = {parts[0] for parts, _ in files} | {parts[0] for parts in folders}
    found, ignored = {}, []
    for top in sorted(tops):
        name, why = student_name(top), refused.get(owner(top), "")
        if (top,) in folders and top not in IGNORED_TOPS:
            student, id_ = parse_folder(name)
            submission = found.setdefault(owner(top), Submission(student, id_, refused=why))
            submission.folders.append(name)
            for parts, path in files:
                if parts[0] == top:
                    inside = "/".join(parts[1:])
                    if path is not None and is_read(inside) and not why:
                        submission.files.append((inside, path))
                    else:
                        submission.others.append(student_name(inside))
        elif is_source(top) and (top,) not in folders:
            path = next(path for parts, path in files if parts == (top,))
            found[owner(top)] = Submission(name[:-4], folders=[name[:-4]], files=[] if why else [(top, path)],
                                           others=[name] if why else [], refused=why)
        else:
            ignored.append(name)
    return list(found.values()), ignored
