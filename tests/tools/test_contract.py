"""The contract between the program's tools entries and the tools: the native build of
harness/Contract.h prints what the driver's --contract prints (CONTRACT_PRINTER, set by the unit
build), and it must be tools/tutor/contract.py's text line for line; then the Python side's own
rules, on hostile input too."""
import os
import subprocess

import pytest

from tutor import contract
from tutor.contract import Refused


def test_the_program_and_the_tools_keep_one_contract():
    printed = subprocess.run([os.environ["CONTRACT_PRINTER"]], capture_output=True, text=True, timeout=10,
                             check=True).stdout
    assert printed.splitlines() == contract.text().splitlines()


def test_sizes_times_and_picture_names_have_one_limit_and_one_message():
    assert contract.parse_sizes("--size", "1920x1200,1x1") == ["1920x1200", "1x1"]
    for bad in ("1921x1200", "1920x1201", "0x1", "01x1", "1x1 ", "1x1x1", "x1", "\u0661x1"):
        with pytest.raises(Refused) as error:
            contract.parse_sizes("--size", "1x2," + bad)
        assert str(error.value) == "--size takes WxH,... with W from 1 to 1920 and H from 1 to 1200, not '%s'" % bad
    for bad in ("1234567", "1.1234567", ".5", "5.", "-1", "1e3", "\u0661", "nan"):
        with pytest.raises(Refused, match=r"^--time takes seconds like 0,0.5,1 \(at most 6 digits"):
            contract.parse_times("--time", bad)
    with pytest.raises(Refused, match="^--times names 1.0 twice$"):
        contract.parse_times("--times", "1,1.0")
    for name in ("../640x480@0.png", "640x480@0.png.lnk", "640x480@zero.png", "640x480@@0.png", "3000x480@0.png",
                 "640x480@0.5", "640x480/@0.png", "x@0.png", ""):
        assert contract.parse_picture_name(name) is None, name


def test_the_last_report_line_explains_the_exit_and_nothing_else_is_one():
    said = "usage: early\nfailed: a size\r\nscene says crash: not this\n\x00\xff crash: nor this\n  exception: nor\n"
    assert contract.report_line(said) == ("failed", "a size")
    assert contract.report_line("x" * (2 * contract.OUTPUT_TAIL) + "\ncrash: late") == ("crash", "late")
    assert contract.report_line("crash: early\n" + "x" * (2 * contract.OUTPUT_TAIL)) is None
    assert contract.report_line("Crash: no\ncrashed: no\nclosed:no") is None
    assert [contract.verdict(code) for code in (0, 2, 5, 10, 11, 12, 13)] == \
        [None, None, None, "error box", "crashed", "crashed", "left early"]
