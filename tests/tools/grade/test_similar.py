"""The copy check: sim_c++ on each student's tokens, a dressed copy found which way round, the
starter taken out, each student's run bounded, sim_c++'s output read as untrusted text."""
import os
import re
import shutil
import time

from tutor.grade import similar
from tutor.outside import run_limited


# The starter handed out, and a student's own scene built on it.
STARTER = b"""// Exercise 3: a star field. Fill in DrawScene.
#include "Tutorial.h"
#include <GL/gl.h>
#include <cmath>

static void Star(double X, double Y, double R, int Points) {
    ::glBegin(GL_TRIANGLE_FAN);
    ::glVertex2d(X, Y);
    for (int i = 0; i <= 2 * Points; ++i) {
        const double A = i * 3.14159265 / Points;
        const double Rho = i % 2 ? R * 0.4 : R;
        ::glVertex2d(X + Rho * std::cos(A), Y + Rho * std::sin(A));
    }
    ::glEnd();
}
"""
OWN = b"""
// My sky: a gradient, and stars on a spiral.
static void Sky() {
    ::glBegin(GL_QUADS);
    ::glColor3f(0.0f, 0.0f, 0.2f); ::glVertex2f(-3.0f, -3.0f); ::glVertex2f(3.0f, -3.0f);
    ::glColor3f(0.1f, 0.1f, 0.5f); ::glVertex2f(3.0f, 3.0f); ::glVertex2f(-3.0f, 3.0f);
    ::glEnd();
}
void TForm1::DrawScene() {
    ::glClear(GL_COLOR_BUFFER_BIT); Sky();
    for (int k = 0; k < 12; ++k) {
        const double T = k * 0.55;
        Star(0.2 * T * std::cos(T), 0.2 * T * std::sin(T), 0.08 + 0.01 * k, 5 + k % 3);
    }
}
"""
# What every student writes who does no more than the exercise's first step.
FIRST_STEP = b"void TForm1::DrawScene()\n{\n    ::glClear(GL_COLOR_BUFFER_BIT);\n    Star(0.0, 0.0, 1.0, 5);\n}\n"


def padding(count):
    """COUNT functions that are never called."""
    return b"".join(b"static int Unused%d(int N)\n{\n    int Sum = %d;\n    while (N > %d) { Sum += N %% %d; N /= 2; }\n"
                    b"    return Sum%s;\n}\n" % (i, i, i, i + 2, b" * N" * i) for i in range(count))


def locally(folder, path=None):
    """Runs the check's commands in FOLDER, as the grader's sandbox does, finding programs on PATH."""
    os.makedirs(folder, exist_ok=True)

    def run(argv, timeout):
        result = run_limited(argv, timeout, cwd=folder, env={"PATH": path or os.environ["PATH"]})
        return (None if result.returncode == 124 else result.returncode), result.stdout + result.stderr
    return run


def sim_but(tmp_path, script):
    """A path that finds a sim_c++ that runs SCRIPT, then the real one."""
    tools = tmp_path / "bin"
    tools.mkdir()
    (tools / "sim_c++").write_text('#!/bin/sh\nnames=$(cat)\n%s\nprintf "%%s\\n" "$names" | exec %s "$@"\n'
                                   % (script, shutil.which("sim_c++")))
    (tools / "sim_c++").chmod(0o755)
    return "%s:%s" % (tools, os.environ["PATH"])


class TestCopyCheck:
    def test_a_dressed_copy_is_found_which_way_round_and_a_kept_starter_makes_no_pair(self, tmp_path):
        ada = STARTER + OWN
        texts = {
            "ada": {"Scene.cpp": ada},
            "bob": {"Scene.cpp": ada + padding(16)},  # three times the size, the rest never called
            "cy": {"Scene.cpp": STARTER + b'#include "sky.h"\n', "sky.h": OWN},  # the copy in a header
            "fay": {"Scene.cpp": STARTER + FIRST_STEP},
            "gil": {"Scene.cpp": STARTER + FIRST_STEP.replace(b"1.0, 5", b"2.0, 6")},
        }
        pairs, notes, note = similar.near_identical(texts, STARTER, str(tmp_path), locally(str(tmp_path)))
        assert [(a, b) for a, b, _, _ in pairs] == [("ada", "bob"), ("ada", "cy"), ("bob", "cy")]
        shares = {(a, b): (ab, ba) for a, b, ab, ba in pairs}
        assert shares[("ada", "bob")][0] == 100 and shares[("ada", "bob")][1] < 40 and min(shares[("ada", "cy")]) >= 90
        assert notes == {} and note == ""

    def test_a_long_submission_and_a_run_past_its_limit_cost_the_student_a_note_not_the_class_its_check(
            self, tmp_path):
        # Hal's comparison with the others does not end.
        run = locally(str(tmp_path / "w"), sim_but(tmp_path, 'case "$names $*" in s4.cpp*-p*) exec sleep 60;; esac'))
        ada = STARTER + OWN
        texts = {"ada": {"Scene.cpp": ada}, "bob": {"Scene.cpp": ada.replace(b"Star", b"Dot")},
                 "hal": {"Scene.cpp": ada.replace(b"Sky", b"Air")},
                 # 1 MiB, most of it not compiled: sim_c++ ran for minutes on the whole of it.
                 "gus": {"Scene.cpp": b"#if 0\n" + b"x = x ;\n" * (1 << 17) + b"#endif\n" + ada}}
        started = time.monotonic()
        pairs, notes, note = similar.near_identical(texts, STARTER, str(tmp_path / "w"), run, limit=1)
        assert time.monotonic() - started < 5
        assert pairs == [("ada", "bob", 100, 100), ("ada", "hal", 100, None), ("bob", "hal", 100, None)] and note == ""
        assert notes == {"gus": "only its first 10000 tokens were compared",
                         "hal": "not compared: the check took more than 1 s"}
        # Without sim_c++ at all, the class is told why nothing was checked.
        os.mkdir(tmp_path / "without")
        for tool in ("sh", "grep", "timeout"):
            os.symlink(shutil.which(tool), tmp_path / "without" / tool)
        run = locally(str(tmp_path / "v"), str(tmp_path / "without"))
        assert similar.near_identical(texts, STARTER, str(tmp_path / "v"), run) == (
            [], {}, "the similarity check could not run: sim_c++ is not installed")

    def test_each_token_is_one_line_that_sim_reads_as_one_token_whatever_the_layout(self, tmp_path):
        nasty = (b'#include <cmath> // kept out\n  #  include "x.h" \\\n  its continuation\n#define X(a) \\\n a ## b\n'
                 b'/* a\ncomment */ int main() { const char *s = "a\\"b // c"; char c = \'\\\'\'; x->y <<= 1.5e3f;\n'
                 b'return 0x1F + L"w" + R"xy(raw )" still)xy" + u8R"(r)" + 1\'000 + .5e-3 + u\'x\'; }\n'
                 b'# pragma x\nint \xc3\xbcber = 3; $ @ ` "open\n\'c\n' + b"y" * 100 + b" /* open")
        stream = list(similar.tokenize(nasty))
        similar.write_stream(str(tmp_path / "t.cpp"), stream)
        shown = run_limited(["sim_c++", "--", str(tmp_path / "t.cpp")], 20).stdout
        counts = [len([t for t in part.split("\n") if " -> " in t]) for part in re.split(r"line # = \d+.*", shown)[1:]]
        assert counts == [1] * len(stream) + [0], shown
        assert b" ".join(stream).decode() == (
            "# define X ( a ) a # # b int main ( ) { const char * s = \"\" char c = 'c' x - > y < < = 1 "
            "return 1 + \"\" + \"\" + \"\" + 1 + 1 + 'c' } # pragma x int x = 1 $ @ ` \"\" 'c' x")
        ada = STARTER + OWN
        lines = [line.strip() for line in re.sub(rb"//[^\n]*", b"", ada).split(b"\n")]
        one_line = b"\n".join([n for n in lines if n[:1] == b"#"] + [b" ".join(n for n in lines if n[:1] != b"#")])
        for layout in (ada.replace(b"\n", b"\r\n"), ada.replace(b"\n", b"\r"), one_line):
            assert list(similar.tokenize(layout)) == list(similar.tokenize(ada))
        # Not more than 16 of a kind in a row; not more than ten times the limit read.
        assert similar.tokens({"a": b"#define E\n" + b"E\n" * 5000 + b"} " * 40}) == (
            [b"#", b"define"] + [b"E"] * 15 + [b"}"] * 16, False)
        assert similar.tokens({"a": b"E " * 1000 + b"}"}, limit=20) == ([b"E"] * 16, True)
        assert similar.tokens({"a": ada, "b": ada}, limit=300) == ((list(similar.tokenize(ada)) * 2)[:300], True)

    def test_sims_output_counts_for_the_names_it_was_given_only(self):
        names = {"s1.cpp", "s2.cpp", "s1000.cpp"}
        said = ("s1.cpp consists for 97 % of s2.cpp material\ns1.cpp consists for 100 % of s1000.cpp material\n"
                "s2.cpp consists for 100 % of s1.cpp material\ns1.cpp consists for 100 % of s1.cpp material\n"
                "s1.cpp consists for 100 % of s3.cpp material\ns1.cpp consists for 700 % of s2.cpp material\n"
                "s11.cpp consists for 100 % of s2.cpp material\n../x consists for 100 % of s1.cpp material\n"
                "s1.cpp consists for 100 % of s2.cpp material and more\nTotal input: 3 files\n")
        assert similar.parse_percentages(said, "s1.cpp", names) == {"s2.cpp": 97, "s1000.cpp": 100}
        runs = ("s1.cpp: line 4-18      |starter.cpp: line 4-18     [15]\ns1.cpp: line 9-3 |starter.cpp: line 1-2 [1]\n"
                "s1.cpp: line 0-3 |starter.cpp: line 1-4 [4]\ns1.cpp: line 90-101 |starter.cpp: line 1-12 [12]\n"
                "s2.cpp: line 1-50 |starter.cpp: line 1-50 [50]\ns1.cpp: line 20-30 |s2.cpp: line 1-11 [11]\n")
        assert similar.parse_runs(runs, "s1.cpp", 100) == [(4, 18)]
        assert similar.without(list(range(1, 11)), [(2, 3), (3, 5), (10, 10)]) == [1, 6, 7, 8, 9]
