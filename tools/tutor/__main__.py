"""python3 -m tutor COMMAND [ARGS]: what tools/COMMAND runs (tutor/commands/COMMAND.py)."""
import importlib
import sys

from tutor.signals import catch

COMMANDS = ("bench", "build", "capture", "faults", "fuzz", "grade", "route", "run", "soak", "test")


def main(argv):
    if not argv or argv[0] not in COMMANDS:
        print("usage: python3 -m tutor %s [ARGS]" % "|".join(COMMANDS), file=sys.stderr)
        return 2
    # Lines in the order they are said, standard output's and error's alike, as a shell's tools say them.
    sys.stdout.reconfigure(line_buffering=True)
    # A signal ends the command without a traceback, what it started first (a Wine session
    # ends with codes of its own).
    catch()
    return importlib.import_module("tutor.commands." + argv[0]).main(argv[1:])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
