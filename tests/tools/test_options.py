"""The options several tools take: one check each, the same words from capture and from a tool
parsing with argparse."""
import argparse

import pytest

from tutor import options
from tutor.commands import capture

BAD = [("--fuzz", "1e3", "--fuzz takes a number, not '1e3'"),
       ("--tolerance", "1.5", "--tolerance takes a whole number, not '1.5'"),
       ("--timeout", "10000", "--timeout takes whole seconds, not '10000'"),
       ("--sizes", "10by10", "--sizes takes WxH,... with W from 1 to 1920 and H from 1 to 1200, not '10by10'"),
       ("--times", "0.5,0.50", "--times names 0.50 twice")]
CHECKS = {"--fuzz": options.fuzz, "--tolerance": options.tolerance, "--timeout": options.timeout,
          "--sizes": options.sizes, "--times": options.times}


@pytest.mark.parametrize("option, value, text", BAD)
def test_a_bad_value_gets_the_same_words_from_capture_and_argparse(capsys, option, value, text):
    with pytest.raises(SystemExit) as stop:
        capture.parse([option, value])
    assert stop.value.code == 2 and capsys.readouterr().err == "capture: %s\n" % text

    parser = argparse.ArgumentParser(prog="tools/grade")
    parser.add_argument(option, type=options.argtype(parser, CHECKS[option], option))
    with pytest.raises(SystemExit) as stop:
        parser.parse_args([option, value])
    assert stop.value.code == 2 and capsys.readouterr().err.endswith("tools/grade: error: %s\n" % text)


@pytest.mark.parametrize("argv, text", [
    (["--out"], "--out needs a path"),
    (["--times"], "--times needs seconds"),
    (["--frames", "x"], "unknown option --frames (see --help)"),
    (["A.exe", "B.exe"], "one exercise at a time: 'A.exe' and 'B.exe'"),
])
def test_capture_refuses_what_it_cannot_take(capsys, argv, text):
    with pytest.raises(SystemExit) as stop:
        capture.parse(argv)
    assert stop.value.code == 2 and capsys.readouterr().err == "capture: %s\n" % text
