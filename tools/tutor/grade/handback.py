"""What goes back to the course site: gradebook.csv, a row a student in the form the site's grading
worksheet import takes, and feedback.zip, a folder a submission folder (named as it came) holding
the student's own page, one HTML file with its pictures inline, from the template feedback.html
beside this file.

Points are the share of pictures that pass: a picture passes when its row is within the
tolerance and the verdict let the pictures be compared (pass or differs).
"""
import base64
import csv
import datetime
import html
import os
import re
import string
import zipfile

from tutor.grade import png
from tutor.grade.intake import SITE_FOLDER
from tutor.grade.result import Verdict
from tutor.grade.sandbox.display import SCREEN
from tutor.hostile import NotRegular, cell, printable, read_regular

PAGE = "feedback.html"
TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), PAGE)  # the page, filled in for each student
# The columns of the course site's grading worksheet: it matches a row by "Identifier" (the
# participant ID as "Participant N") and needs "Grade" and "Last modified (grade)".
GRADEBOOK = ["Identifier", "Full name", "Grade", "Maximum Grade", "Last modified (grade)", "Feedback comments"]
# Names Windows keeps for devices, whatever follows a dot: a folder named so cannot be unzipped there.
DEVICES = {"CON", "PRN", "AUX", "NUL"} | {kind + digit for kind in ("COM", "LPT") for digit in "0123456789¹²³"}
NAME_LIMIT = 200  # characters of a feedback folder's name before the site's ending; Windows takes 255


def passed(result, shots, allowed):
    """The pictures of RESULT that pass: ALLOWED(shot) gives the pixels that may differ."""
    if not result.verdict.compared:
        return []
    return [s for s in shots if result.pixels(s) is not None and result.pixels(s) <= allowed(s)]


def points(result, shots, allowed, full):
    """FULL points times the share of pictures that pass, to two decimals."""
    return round(full * len(passed(result, shots, allowed)) / len(shots), 2)


def outcome(result, shots, allowed):
    """What came of a submission, in words for its student: the pictures that passed, or that
    it was never built."""
    if result.verdict == Verdict.REFUSED:
        return "your submission was not built"
    return "%d of %d pictures as expected" % (len(passed(result, shots, allowed)), len(shots))


def feedback_line(result, shots, allowed):
    """One line for the gradebook: the verdict, the pictures that passed, why not all did."""
    line = "%s: %s" % (result.verdict.value, outcome(result, shots, allowed))
    return printable(line + (" (%s)" % result.detail if result.detail else ""))[:300]


def number(value):
    return "%g" % value


def write_gradebook(out, results, shots, allowed, full):
    modified = datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds")
    with open(os.path.join(out, "gradebook.csv"), "w", newline="", encoding="utf-8") as f:
        writer = csv.writer(f)
        writer.writerow(GRADEBOOK)
        for r in results:
            # NOTE: the site keeps feedback comments as HTML: a student's text goes in escaped.
            writer.writerow(["Participant %s" % r.id if r.id else "", cell(r.student),
                             number(points(r, shots, allowed, full)), number(full), modified,
                             cell(html.escape(feedback_line(r, shots, allowed)))])


def inline(path):
    """A picture the grader wrote, as a data: URI, or "" if it is not there."""
    try:
        data, more = read_regular(path, png.largest(*SCREEN))
    except NotRegular:
        return ""
    return "" if more else "data:image/png;base64," + base64.b64encode(data).decode("ascii")


def student_page(result, shots, allowed, full, references):
    """The student's own page: the verdict and points, their pictures beside the expected ones,
    what the tools found in its GL calls where its pictures differ, and the compiler's messages
    or what ended the run."""
    e = html.escape
    parts = ["<h1>%s</h1>" % e(result.student),
             "<p><b>%s</b>: %s, %s of %s points.</p>" % (
                 e(result.verdict.value), e(outcome(result, shots, allowed)), number(points(result, shots, allowed, full)),
                 number(full))]
    if result.detail:
        parts.append("<p>%s</p>" % e(result.detail))
    if result.told_findings():
        parts.append("<p>What the tools saw your scene's GL calls do:</p><pre class=findings>%s</pre>"
                     % e("\n".join(result.told_findings())))
    if result.messages and not result.verdict.compared:
        parts.append("<pre>%s</pre>" % e(result.messages))
    for shot in shots:
        if shot not in result.pictures:
            continue
        pixels, diff = result.differences.get(shot, (None, ""))
        figures = [(references.get(shot), "expected"), (result.pictures[shot], "yours")]
        if pixels is not None:
            figures.append((diff, "difference (in red)"))
        parts.append("<h2>%s: %s</h2><div>%s</div>" % (
            e(shot.stem), "%d pixels differ" % pixels if pixels is not None else e(diff),
            "".join('<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>' % (inline(path), e(c), e(c))
                    for path, c in figures if path)))
    with open(TEMPLATE, encoding="utf-8") as f:
        return string.Template(f.read()).substitute(student=e(result.student), parts="\n".join(parts))


def plain_folder(name, taken):
    """A folder's name as it goes into the zip, one Windows can unzip: plain characters, none of
    <>:"/\\|?*, no trailing dot or space, no device's name, never "." or "..", and none taken
    already as Windows compares names, in any case (TAKEN, which it joins). The course site's
    ending (_ID_assignsubmission_file_) is kept as it is: the site matches feedback by it. Nothing
    added before it is an underscore, which separates the fields of the site's form."""
    m = SITE_FOLDER.fullmatch(name)
    head, ending = (name[:m.end("name")], name[m.end("name"):]) if m else (name, "")
    head = re.sub(r'[<>:"/\\|?*]', "-", printable(head))[:NAME_LIMIT]
    if not ending:
        head = head.rstrip(". ")
    if (head + ending).partition(".")[0].rstrip(" ").upper() in DEVICES:
        base, dot, rest = head.partition(".")
        head = base + "-" + dot + rest
    head = head or "student"
    candidate, count = head + ending, 1
    while candidate.upper() in taken:
        count += 1
        candidate = "%s (%d)%s" % (head, count, ending)
    taken.add(candidate.upper())
    return candidate


def write_feedback(out, results, shots, allowed, full, references):
    taken = set()
    with zipfile.ZipFile(os.path.join(out, "feedback.zip"), "w", zipfile.ZIP_DEFLATED) as archive:
        for r in results:
            page = student_page(r, shots, allowed, full, references)
            for folder in r.folders:
                archive.writestr("%s/%s" % (plain_folder(folder, taken), PAGE), page)
