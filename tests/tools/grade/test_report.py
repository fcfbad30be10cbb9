"""report.html's parts that a class end to end does not reach, and the findings on both pages."""
import html
from types import SimpleNamespace

from tutor.contract import Shot
from tutor.findings import Finding
from tutor.grade.handback import student_page
from tutor.grade.report import Page, similar_section, which_way
from tutor.grade.result import Pair, Result, Verdict
from tutor.grade.submission import take_pictures


def test_the_report_says_which_way_round_a_pair_is_alike_and_whose_code_was_compared_in_part():
    ada, bob, cy = (Result(name, "", [], "0%d" % i, Verdict.PASS) for i, name in enumerate(["Ada", "Bob", "Cy <b>"], 1))
    cy.copy_note = "only its first 10000 tokens were compared"
    assert which_way(Pair(ada, bob, 39, 100, b"", b"")) == "all of Bob's code is in Ada's; 39 % of Ada's is in Bob's"
    assert which_way(Pair(ada, bob, 100, None, b"", b"")) == "all of Ada's code is in Bob's; Bob's was not compared"
    page = similar_section([Pair(ada, bob, 39, 100, b"", b"")], "", [ada, bob, cy], html.escape)
    assert "all of Bob&#x27;s code is in Ada&#x27;s" in page
    assert '<a href="#s03">Cy &lt;b&gt;</a>: only its first 10000 tokens were compared' in page


def test_findings_are_shown_escaped_where_the_pictures_differ_or_nothing_is_drawn_and_nowhere_else(tmp_path):
    shot = Shot(40, 30, "0")
    (tmp_path / "40x30@0.txt").write_text("/scratch/src/Mine.cpp:7: outside-view: glRectf(<b>) lies at x 7..9\n"
                                          "/scratch/src/Mine.cpp:7: outside-view: glRectf(<b>) lies at x 7..9\n")
    (tmp_path / "x.txt").write_text("/scratch/src/Mine.cpp:9: gl-error: linked\n")
    (tmp_path / "50x30@0.txt").symlink_to(tmp_path / "x.txt")
    _, _, read = take_pictures(str(tmp_path), [shot, Shot(50, 30, "0")])
    assert [f.line for f in read.findings] == [7]  # each once; a link is not followed
    told = lambda r: Page(str(tmp_path), SimpleNamespace(shots=[shot]), {}).section(r) + student_page(
        r, [shot], lambda s: 0, 10, {})
    ada = Result("Ada", "", [], "01", Verdict.DIFFERS, findings=[Finding("Mine.cpp", 7, "outside-view", "<b>")],
                 more_findings=2)
    assert told(ada).count("Mine.cpp:7: outside-view: &lt;b&gt;\n\u2026 and 2 more</pre>") == 2
    ada.verdict = Verdict.PASS
    assert "Mine.cpp" not in told(ada)
    ada.findings.append(Finding("Mine.cpp", 3, "nothing-drawn", "a frame"))
    assert told(ada).count("Mine.cpp:3: nothing-drawn") == 2
