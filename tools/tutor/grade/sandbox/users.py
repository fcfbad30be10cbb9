"""The sandboxes' users: user ids that no account and no running process has."""
import os
import pwd
import threading

FIRST_UID = 64000  # each sandbox runs as a user of its own, the first free one from here up


class Users:
    """User ids that no account and no running process has, handed out once each: a limit per
    user then counts one submission's processes alone."""

    def __init__(self):
        self.lock, self.next = threading.Lock(), FIRST_UID

    def take(self):
        with self.lock:
            taken = set()
            for entry in os.listdir("/proc"):
                try:
                    taken.add(os.stat("/proc/" + entry).st_uid if entry.isdigit() else -1)
                except OSError:
                    pass
            while True:
                uid, self.next = self.next, self.next + 1
                try:
                    pwd.getpwuid(uid)
                except KeyError:
                    if uid not in taken:
                        return uid
