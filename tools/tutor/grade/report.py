"""What the teacher gets: the progress lines, results.csv and report.html (the class at a glance,
the verdicts, the near-identical pairs, each student's pictures). A submission's text is made safe
where it lands: plain characters on the terminal, never a formula in the CSV, escaped in the page.
"""
import csv
import html
import os

from tutor.grade.held import held_parts

VERDICTS = ["pass", "differs", "does not compile", "crashed", "hung", "error box", "left early",
            "too much output", "bad picture", "not a regular file", "refused", "no scene"]
CODE_SHOWN = 64 << 10  # characters of each student's code shown beside another's
PAIRS_SHOWN = 50  # near-identical pairs whose code is shown; the rest are listed (a class of copies has hundreds)


def student_name(entry):
    """A file name as text, whatever bytes it has: one that is not UTF-8 (an old archiver's
    Latin-1) shows its odd bytes as U+FFFD, the same everywhere it is shown."""
    return os.fsencode(entry).decode("utf-8", "replace")


def printable(text):
    """A student's text as plain characters: no control characters, terminal escapes included."""
    return "".join(c if c.isprintable() else " " for c in text).strip()[:500]


def tally(results):
    """How many of each verdict: "3 pass, 1 differs"."""
    counts = ((sum(r.verdict == v for r in results), v) for v in VERDICTS)
    return ", ".join("%d %s" % (n, v) for n, v in counts if n) or "nothing graded"


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
                writer.writerow([cell(r.student), shot[0], shot[1], r.verdict, "" if pixels is None else pixels,
                                 cell(detail), cell(r.id), cell("; ".join(o.student for o, _, _ in r.similar)),
                                 "yes" if shot in held else ""])


def cell(text):
    """A student's text as a spreadsheet shows it, never as a formula it would compute."""
    text = printable(text)
    return "'" + text if text[:1] in ("=", "+", "-", "@") else text


def contact_sheet(results, shot, caption, rel, e):
    """One picture a student at SHOT, each linked to their section; the passes folded away, so
    what failed comes first. E escapes text for the page."""

    def tile(r):
        path = r.pictures.get(shot)
        face = '<img src="%s" alt="">' % e(rel(path)) if path else "<span class=none>no picture</span>"
        return '<a class="tile %s" href="#s%s">%s<span>%s</span><span class=verdict>%s</span></a>' % (
            r.verdict.replace(" ", "-"), r.tag, face, e(r.student), e(r.verdict))
    failed = [tile(r) for r in results if r.verdict != "pass"]
    passes = [tile(r) for r in results if r.verdict == "pass"]
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


def write_report(out, args, results, references, ignored, total, pairs=(), similarity_note=""):
    """report.html: RESULTS are those graded of TOTAL submissions, fewer when the run was
    interrupted."""
    rel = lambda path: os.path.relpath(path, out)
    e = html.escape
    shots = args.shots
    label = lambda shot: shot[0] + (" at %s s" % shot[1] if len(args.times) > 1 or shot[1] != "0" else "") + (
        " (held back)" if shot in args.held else "")
    rows = []
    for r in results:
        cells = "".join("<td class=num>%s</td>" % (r.pixels(s) if r.pixels(s) is not None else "–") for s in shots)
        rows.append('<tr class="%s"><td><a href="#s%s">%s</a></td><td class=verdict>%s</td>%s<td>%s</td></tr>'
                    % (r.verdict.replace(" ", "-"), r.tag, e(r.student), e(r.verdict), cells,
                       e(r.detail) if r.verdict != "differs" else ""))
    sections = []
    for r in results:
        parts = ['<section id="s%s" class="%s"><h2>%s%s <span class=verdict>%s</span></h2>'
                 % (r.tag, r.verdict.replace(" ", "-"), e(r.student),
                    " <span class=id>ID %s</span>" % e(r.id) if r.id else "", e(r.verdict))]
        if r.detail:
            parts.append("<p class=detail>%s</p>" % e(r.detail))
        if r.similar:
            parts.append("<p class=similar>Near-identical to %s.</p>" % ", ".join(
                '<a href="#pair%d">%s</a>%s' % (number, e(other.student), "" if share is None else " (%d %%)" % share)
                for other, share, number in r.similar))
        if r.verdict in ("does not compile", "too much output") and r.messages:
            parts.append("<pre>%s</pre>" % e(r.messages))
        for shot in shots:
            if shot not in r.pictures:
                continue
            pixels, diff = r.differences.get(shot, (None, ""))
            figure = lambda path, caption: '<figure><img src="%s" alt="%s"><figcaption>%s</figcaption></figure>' % (
                e(rel(path)), e(caption), e(caption))
            parts.append('<h3>%s: %s</h3><div class=pictures>%s%s%s</div>' % (
                e(label(shot)), "%d pixels differ" % pixels if pixels is not None else e(diff),
                figure(references[shot], "expected"), figure(r.pictures[shot], "submitted"),
                figure(diff, "difference (in red)") if pixels is not None else ""))
        parts.append("</section>")
        sections.append("".join(parts))
    page = """<!DOCTYPE html>
<html lang=en><head><meta charset=utf-8><title>Grades: %(title)s</title>
<style>
body {font: 15px/1.4 sans-serif; margin: 2em; color: #222}
table {border-collapse: collapse} td, th {padding: .25em .8em; border-bottom: 1px solid #ddd; text-align: left}
td.num {text-align: right; font-variant-numeric: tabular-nums}
.pass .verdict {color: #176b2c} .differs .verdict {color: #9a5b00}
.does-not-compile .verdict, .crashed .verdict, .hung .verdict, .error-box .verdict, .left-early .verdict,
.too-much-output .verdict, .bad-picture .verdict, .not-a-regular-file .verdict, .refused .verdict {color: #b00020}
section {margin-top: 2.5em; border-top: 2px solid #ccc}
.pictures {display: flex; flex-wrap: wrap; gap: 1em}
figure {margin: 0}
img {max-width: 300px; max-height: 300px; border: 1px solid #888; background: #eee}
img.broken {outline: 3px solid #b00020}
pre {background: #f4f4f4; padding: 1em; overflow-x: auto; max-height: 30em}
#pictures {color: #666}
.no-scene .verdict {color: #b00020}
.sheet {display: grid; grid-template-columns: repeat(auto-fill, minmax(170px, 1fr)); gap: .8em; margin: .8em 0}
.tile {display: flex; flex-direction: column; color: inherit; text-decoration: none; font-size: 13px}
.tile img {max-width: 160px; max-height: 120px}
.tile .none {width: 160px; height: 90px; border: 1px dashed #bbb; color: #888; display: grid; place-items: center}
details.passes summary {cursor: pointer; color: #176b2c}
.side {display: flex; gap: 1em} .side pre {flex: 1; max-height: 40em; font-size: 12px}
.id, .similar {color: #666} .similar a {color: #b00020}
</style></head>
<body>
<h1>Grades: %(title)s</h1>
<p>%(count)s submissions, reference %(reference)s, sizes %(sizes)s, scene times %(times)s s%(held)s. A pixel differs when a
colour is off by more than %(fuzz)g%%; a picture passes when %(tolerance)s. %(tally)s.</p>
<p id=pictures>Checking the pictures…</p>
%(sheet)s
<table><thead><tr><th>student</th><th>verdict</th>%(heads)s<th>detail</th></tr></thead><tbody>
%(rows)s
</tbody></table>
%(ignored)s
%(similar)s
%(sections)s
<script>
// Says whether every picture loaded, so a report moved without its pictures folder shows it.
window.addEventListener("load", function () {
  var images = document.images, broken = 0;
  for (var i = 0; i < images.length; i++)
    if (!images[i].complete || images[i].naturalWidth === 0) { broken++; images[i].classList.add("broken"); }
  var note = document.getElementById("pictures");
  note.textContent = broken ? broken + " of " + images.length + " pictures are missing"
                            : "All " + images.length + " pictures loaded.";
  document.body.dataset.pictures = images.length;
  document.body.dataset.broken = broken;
});
</script>
</body></html>
""" % dict(title=e(student_name(os.path.basename(os.path.abspath(args.submissions)))),
           count=len(results) if len(results) == total else "The run was interrupted: %d of %d" % (len(results), total),
           reference=e(student_name(os.path.basename(os.path.abspath(args.reference)))), sizes=e(", ".join(args.sizes)),
           times=e(", ".join(args.times)),
           held="; held back from students, drawn for this run: %s (--draw %d)" % (
               e(", ".join(held_parts(args.sizes, args.times, args.held))), args.draw) if args.held else "",
           fuzz=args.fuzz, tolerance="at most %d pixels differ" % args.tolerance if args.tolerance is not None
           else "at most 1% of the pixels its reference draws differ (at least 8, never all of them)",
           tally=e(tally(results)),
           heads="".join("<th class=num>%s</th>" % e(label(s)) for s in shots), rows="\n".join(rows),
           ignored="<p>Ignored: %s.</p>" % e(", ".join(ignored)) if ignored else "",
           sheet=contact_sheet(results, shots[0], label(shots[0]), rel, e),
           similar=similar_section(pairs, similarity_note, results, e),
           sections="\n".join(sections))
    with open(os.path.join(out, "report.html"), "w", encoding="utf-8") as f:
        f.write(page)
