"""python3 -m tutor route: the route this machine takes, x86 or x64 (tutor/tree.py), with the
note that says why when it is not the 32-bit program."""
import sys

from tutor.tree import choose_route


def main(argv):
    if argv:
        print("usage: python3 -m tutor route", file=sys.stderr)
        return 2
    print(choose_route())
    return 0
