"""A sandbox's own X display: the server it starts inside (inside.sh) and the key that opens it."""
import os
import secrets
import struct

from tutor.contract import EXIT, MAX_HEIGHT, MAX_WIDTH

SCREEN = (MAX_WIDTH, MAX_HEIGHT)  # holds the largest picture any tool asks for
INSIDE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "inside.sh")


def with_display():
    """The command prefix, run inside the sandbox, that starts its X server and runs the rest on
    it."""
    with open(INSIDE, encoding="utf-8") as f:
        script = f.read()
    return ["sh", "-c", script, "sh", "%dx%d" % SCREEN, str(EXIT["failed"])]


def make_authority(path, uid):
    """An X authority file with a fresh key that opens any display, owned by UID: the X server of
    a submission's sandbox reads it, and its programs show it."""
    field = lambda data: struct.pack(">H", len(data)) + data
    record = (struct.pack(">H", 0xFFFF) + field(b"") + field(b"") +  # any address, any display
              field(b"MIT-MAGIC-COOKIE-1") + field(secrets.token_bytes(16)))
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_NOFOLLOW, 0o600)
    with os.fdopen(fd, "wb") as f:
        os.fchown(f.fileno(), uid, uid)
        f.write(record)
    return path
