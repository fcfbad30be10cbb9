"""The options several tools take: one check each, the same words from capture and from a tool
parsing with argparse."""
import argparse

import pytest

from tutor import options
from tutor.commands import capture

BAD = [("--fuzz", "1e3", "--fuzz takes a number, not '1e3'"),
       ("--fuzz", ".5", "--fuzz takes a number, not '.5'"),
       ("--fuzz", "-1", "--fuzz takes a number, not '-1'"),
       ("--tolerance", "1.5", "--tolerance takes a whole number, not '1.5'"),
       ("--tolerance", "-1", "--tolerance takes a whole number, not '-1'"),
       ("--timeout", "0", "--timeout takes whole seconds, not '0'"),
       ("--timeout", "10000", "--timeout takes whole seconds, not '10000'"),
       ("--timeout", "2.5", "--timeout takes whole seconds, not '2.5'"),
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


def test_good_values_as_the_tools_use_them():
    assert options.fuzz("--fuzz", "0.5") == 0.5 and options.fuzz("--fuzz", "2") == 2.0
    assert options.tolerance("--tolerance", "0") == 0
    assert options.timeout("--timeout", "9999") == 9999
    assert options.times("--times", "1.0,0.50") == ["1", "0.5"]
    given = capture.parse(["--size", "400x300", "--times", "0,1.0", "--fuzz", "0", "--tolerance", "3", "--screen",
                           "--no-build", "Square.exe"])
    assert (given["sizes"], given["times"], given["fuzz"], given["tolerance"], given["screen"], given["rebuild"],
            given["exe"]) == (["400x300"], ["0", "1"], 0.0, 3, "client", False, "Square.exe")


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
