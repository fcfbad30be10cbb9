"""report.html's parts that a class end to end does not reach."""
import html

from tutor.grade.report import similar_section, which_way
from tutor.grade.result import Pair, Result, Verdict


def test_the_report_says_which_way_round_a_pair_is_alike_and_whose_code_was_compared_in_part():
    ada, bob, cy = (Result(name, "", [], "0%d" % i, Verdict.PASS) for i, name in enumerate(["Ada", "Bob", "Cy <b>"], 1))
    cy.copy_note = "only its first 10000 tokens were compared"
    assert which_way(Pair(ada, bob, 39, 100, b"", b"")) == "all of Bob's code is in Ada's; 39 % of Ada's is in Bob's"
    assert which_way(Pair(ada, bob, 100, None, b"", b"")) == "all of Ada's code is in Bob's; Bob's was not compared"
    page = similar_section([Pair(ada, bob, 39, 100, b"", b"")], "", [ada, bob, cy], html.escape)
    assert "all of Bob&#x27;s code is in Ada&#x27;s" in page
    assert '<a href="#s03">Cy &lt;b&gt;</a>: only its first 10000 tokens were compared' in page
