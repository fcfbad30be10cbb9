"""What goes back to the course site: points, and feedback folders Windows unzips."""
from tutor.contract import Shot
from tutor.grade.handback import plain_folder, points
from tutor.grade.result import Result, Verdict


def test_points_are_the_share_of_pictures_that_pass_where_the_verdict_let_them_be_compared():
    shots, allowed = [Shot(792, 573, "0"), Shot(960, 400, "0"), Shot(400, 720, "0")], lambda shot: 50
    result = lambda verdict, differences: Result("Ada", "", [], "01", verdict, differences=differences)
    differences = {shots[0]: (0, ""), shots[1]: (51, ""), shots[2]: (None, "cannot be compared")}
    assert points(result(Verdict.DIFFERS, differences), shots, allowed, 10) == 3.33
    assert points(result(Verdict.PASS, {s: (50, "") for s in shots}), shots, allowed, 10) == 10
    assert points(result(Verdict.CRASHED, {s: (0, "") for s in shots}), shots, allowed, 10) == 0



def test_a_folder_in_the_feedback_zip_is_one_windows_unzips_with_the_sites_ending_and_never_taken_twice():
    taken, site = set(), "_114_assignsubmission_file_"
    assert [plain_folder(n, taken) for n in [
        "Ada\x07", "..", " ", "a/../b", "Ada", "ada", 'Q: "Quinn"?' + site, "x<y>|z*. ", "CON", "nul.txt",
        "Com1 .x" + site, "Quinn" + site, "quinn" + site]] == [
        "Ada", "student", "student (2)", "a-..-b", "Ada (2)", "ada (3)", "Q- -Quinn--" + site, "x-y--z-", "CON-",
        "nul-.txt", "Com1 -.x" + site, "Quinn" + site, "quinn (2)" + site]
