"""The options several tools take, checked in one place so that the same bad value gets the same
words from each: sizes and scene times (contract.py's rules), a colour difference (--fuzz), a
count of pixels (--tolerance) and a time limit in whole seconds (--timeout).

Each check takes the option as typed and its value, and gives the value as the tool uses it or
raises Bad with the text to show. For argparse, argtype(parser, check) is a type= callable that
ends the parse with that text:

    parser.add_argument("--fuzz", type=options.argtype(parser, options.fuzz, "--fuzz"))
"""
import re

from tutor.contract import Refused, parse_sizes, parse_times

Bad = Refused  # a ValueError whose text is what every tool says

_NUMBER = re.compile(r"[0-9]+(\.[0-9]+)?")
_COUNT = re.compile(r"[0-9]+")
_SECONDS = re.compile(r"[1-9][0-9]{0,3}")


def sizes(option, text):
    """The client areas of "WxH,...", each as written back ("640x480"), each once."""
    return parse_sizes(option, text)


def times(option, text):
    """The scene times of "S,...", each canonical ("0.5"), each once."""
    return parse_times(option, text)


def fuzz(option, text):
    """A percentage of colour difference: a plain decimal number."""
    if not _NUMBER.fullmatch(text):
        raise Bad("%s takes a number, not '%s'" % (option, text))
    return float(text)


def tolerance(option, text):
    """A count of pixels: a whole number, 0 or more."""
    if not _COUNT.fullmatch(text):
        raise Bad("%s takes a whole number, not '%s'" % (option, text))
    return int(text)


def timeout(option, text):
    """A time limit of 1 to 9999 whole seconds."""
    if not _SECONDS.fullmatch(text):
        raise Bad("%s takes whole seconds, not '%s'" % (option, text))
    return int(text)


def argtype(parser, check, option):
    """CHECK of OPTION's value as an argparse type: a bad value ends the parse through
    parser.error with the text every tool gives (not argparse's "argument --x: ...")."""
    def checked(text):
        try:
            return check(option, text)
        except Bad as error:
            parser.error(str(error))
    checked.__name__ = option.lstrip("-")
    return checked
