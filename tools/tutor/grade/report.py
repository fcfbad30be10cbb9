"""What the teacher gets: results.csv and report.html (the class at a glance, the verdicts, the
near-identical pairs, each student's pictures), the page from the template report.html beside
this file. A submission's text is made safe where it lands: never a formula in the CSV, escaped
in the page.
"""
import csv
import html
import os
import string

from tutor.grade.held import held_parts
from tutor.grade.result import Verdict
from tutor.hostile import cell, student_name

CODE_SHOWN = 64 << 10  # characters of each student's code shown beside another's
PAIRS_SHOWN = 50  # near-identical pairs whose code is shown; the rest are listed (a class of copies has hundreds)
TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "report.html")
# The verdicts' colours on the page; every other verdict is a failure's.
COLOURS = {Verdict.PASS: "#176b2c", Verdict.DIFFERS: "#9a5b00"}
FAILED = "#b00020"
# NOTE: their rule stands after the layout's, where it was added; the pages stay as they were.
LATER = [Verdict.NO_SCENE]


def tally(results):
    """How many of each verdict: "3 pass, 1 differs"."""
    counts = ((sum(r.verdict == v for r in results), v) for v in Verdict)
    return ", ".join("%d %s" % (n, v.value) for n, v in counts if n) or "nothing graded"


def write_csv(out, shots, held, results):
    """results.csv: a row a result and shot; HELD, the shots held back from students."""
    with open(os.path.join(out, "results.csv"), "w", newline="", encoding="utf-8") as f:
        writer = csv.writer(f)
        writer.writerow(["student", "size", "time", "verdict", "differing pixels", "detail", "ID", "similar to",
                         "held back"])
        for r in results:
            for shot in shots:
                pixels = r.pixels(shot)
                detail = r.detail
                if shot in r.differences and pixels is None:
                    detail = r.differences[shot][1]
                writer.writerow([cell(r.student), shot.size, shot.time, r.verdict.value, "" if pixels is None else pixels,
                                 cell(detail), cell(r.id), cell("; ".join(o.student for o, _, _ in r.similar)),
                                 "yes" if shot in held else ""])


def verdict_colours(verdicts):
    """The style sheet's rules that colour VERDICTS: those of COLOURS one by one, then the
    failures' together, five selectors a line."""
    rules = [" ".join(".%s .verdict {color: %s}" % (v.css, COLOURS[v]) for v in verdicts if v in COLOURS)]
    failed = [".%s .verdict" % v.css for v in verdicts if v not in COLOURS]
    if failed:
        lines = [", ".join(failed[i:i + 5]) for i in range(0, len(failed), 5)]
        rules.append(",\n".join(lines) + " {color: %s}" % FAILED)
    return "\n".join(rule for rule in rules if rule)


def contact_sheet(results, shot, caption, rel, e):
    """One picture a student at SHOT, each linked to their section; the passes folded away, so
    what failed comes first. E escapes text for the page."""

    def tile(r):
        path = r.pictures.get(shot)
        face = '<img src="%s" alt="">' % e(rel(path)) if path else "<span class=none>no picture</span>"
        return '<a class="tile %s" href="#s%s">%s<span>%s</span><span class=verdict>%s</span></a>' % (
            r.verdict.css, r.tag, face, e(r.student), e(r.verdict.value))
    failed = [tile(r) for r in results if r.verdict != Verdict.PASS]
    passes = [tile(r) for r in results if r.verdict == Verdict.PASS]
    return ("<h2 id=glance>The class at a glance (%s)</h2>\n<div class=sheet>%s</div>\n"
            "<details class=passes><summary>%d pass</summary><div class=sheet>%s</div></details>"
            % (e(caption), "".join(failed), len(passes), "".join(passes)))


def which_way(pair):
    """Which of a pair (result.Pair) holds the other's code, the larger share first: "all of
    Ada's code is in Bob's; 39 % of Bob's is in Ada's"."""
    sides = sorted([(pair.first_in_second, pair.first.student, pair.second.student),
                    (pair.second_in_first, pair.second.student, pair.first.student)],
                   key=lambda side: -1 if side[0] is None else side[0], reverse=True)
    share = lambda percent: "all" if percent == 100 else "%d %%" % percent
    (most, a, b), (back, c, d) = sides
    rest = "%s's was not compared" % c if back is None else "%s of %s's is in %s's" % (share(back), c, d)
    return "%s of %s's code is in %s's; %s" % (share(most), a, b, rest)


def similar_section(pairs, note, results, e):
    """Each near-identical pair (result.Pair) with which way round it is alike and the two
    students' code side by side, then the students whose code was not compared in full. E
    escapes text for the page."""
    code = lambda text: e(text.decode("utf-8", "replace")[:CODE_SHOWN])
    parts = ["<h2 id=similar>Near-identical code</h2>"]
    if note:
        parts.append("<p>Not checked: %s.</p>" % e(note))
    elif not pairs:
        parts.append("<p>No two submissions are near-identical.</p>")
    for number, pair in enumerate(pairs, 1):
        a, b = pair.first, pair.second
        side = "<div class=side><pre>%s</pre><pre>%s</pre></div>" % (code(pair.first_code), code(pair.second_code))
        parts.append('<div class=pair id="pair%d"><h3><a href="#s%s">%s</a> and <a href="#s%s">%s</a>: %s</h3>%s</div>'
                     % (number, a.tag, e(a.student), b.tag, e(b.student), e(which_way(pair)),
                        side if number <= PAIRS_SHOWN else ""))
    noted = [r for r in results if r.copy_note]
    if noted and not note:
        parts.append("<p>Compared in part:</p><ul class=notes>%s</ul>" % "".join(
            '<li><a href="#s%s">%s</a>: %s</li>' % (r.tag, e(r.student), e(r.copy_note)) for r in noted))
    return "\n".join(parts)


class Page:
    """report.html's parts for RESULTS, those graded of TOTAL submissions, of a run with ARGS;
    every text of a submission's escaped (E), every path relative to OUT."""

    def __init__(self, out, args, references):
        self.args, self.references = args, references
        self.rel = lambda path: os.path.relpath(path, out)
        self.e = html.escape

    def label(self, shot):
        args = self.args
        return shot.size + (" at %s s" % shot.time if len(args.times) > 1 or shot.time != "0" else "") + (
            " (held back)" if shot in args.held else "")

    def row(self, r):
        e = self.e
        cells = "".join("<td class=num>%s</td>" % (r.pixels(s) if r.pixels(s) is not None else "–")
                        for s in self.args.shots)
        return '<tr class="%s"><td><a href="#s%s">%s</a></td><td class=verdict>%s</td>%s<td>%s</td></tr>' % (
            r.verdict.css, r.tag, e(r.student), e(r.verdict.value), cells,
            e(r.detail) if r.verdict != Verdict.DIFFERS else "")

    def figure(self, path, caption):
        e = self.e
        return '<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>' % (
            e(self.rel(path)), e(caption), e(caption))

    def section(self, r):
        """A student's own part: the verdict, why, what the recorder found in its GL calls, the
        near-identical code, the compiler's messages and each picture beside the reference's and
        their difference."""
        e = self.e
        parts = ['<section id="s%s" class="%s"><h2>%s%s <span class=verdict>%s</span></h2>'
                 % (r.tag, r.verdict.css, e(r.student), " <span class=id>ID %s</span>" % e(r.id) if r.id else "",
                    e(r.verdict.value))]
        if r.detail:
            parts.append("<p class=detail>%s</p>" % e(r.detail))
        if r.told_findings():
            parts.append("<pre class=findings>%s</pre>" % e("\n".join(r.told_findings())))
        if r.similar:
            parts.append("<p class=similar>Near-identical to %s.</p>" % ", ".join(
                '<a href="#pair%d">%s</a>%s' % (number, e(other.student), "" if share is None else " (%d %%)" % share)
                for other, share, number in r.similar))
        if r.verdict in (Verdict.DOES_NOT_COMPILE, Verdict.TOO_MUCH_OUTPUT) and r.messages:
            parts.append("<pre>%s</pre>" % e(r.messages))
        for shot in self.args.shots:
            if shot not in r.pictures:
                continue
            pixels, diff = r.differences.get(shot, (None, ""))
            parts.append('<h3>%s: %s</h3><div class=pictures>%s%s%s</div>' % (
                e(self.label(shot)), "%d pixels differ" % pixels if pixels is not None else e(diff),
                self.figure(self.references[shot], "expected"), self.figure(r.pictures[shot], "submitted"),
                self.figure(diff, "difference (in red)") if pixels is not None else ""))
        parts.append("</section>")
        return "".join(parts)

    def summary(self, results, total):
        """The page's opening: what was graded, against what, and how."""
        args, e = self.args, self.e
        name = lambda path: e(student_name(os.path.basename(os.path.abspath(path))))
        return dict(
            title=name(args.submissions), reference=name(args.reference),
            count=len(results) if len(results) == total else "The run was interrupted: %d of %d" % (len(results), total),
            sizes=e(", ".join(args.sizes)), times=e(", ".join(args.times)),
            held="; held back from students, drawn for this run: %s (--draw %d)" % (
                e(", ".join(held_parts(args.sizes, args.times, args.held))), args.draw) if args.held else "",
            fuzz="%g" % args.fuzz, tolerance="at most %d pixels differ" % args.tolerance if args.tolerance is not None
            else "at most 1% of the pixels its reference draws differ (at least 8, never all of them)",
            tally=e(tally(results)))


def write_report(out, args, results, references, ignored, total, pairs=(), similarity_note=""):
    """report.html: RESULTS are those graded of TOTAL submissions, fewer when the run was
    interrupted."""
    page = Page(out, args, references)
    e, shots = page.e, args.shots
    with open(TEMPLATE, encoding="utf-8") as f:
        template = string.Template(f.read())
    text = template.substitute(
        page.summary(results, total),
        verdict_colours=verdict_colours([v for v in Verdict if v not in LATER]), later_colours=verdict_colours(LATER),
        heads="".join("<th class=num>%s</th>" % e(page.label(s)) for s in shots),
        rows="\n".join(page.row(r) for r in results),
        ignored="<p>Ignored: %s.</p>" % e(", ".join(ignored)) if ignored else "",
        sheet=contact_sheet(results, shots[0], page.label(shots[0]), page.rel, e),
        similar=similar_section(pairs, similarity_note, results, e),
        sections="\n".join(page.section(r) for r in results))
    with open(os.path.join(out, "report.html"), "w", encoding="utf-8") as f:
        f.write(text)
