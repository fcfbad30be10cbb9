#!/usr/bin/env bash
# tools/grade on a class zipped as a course site hands it over (`Full Name_ID_assignsubmission_file_/`
# folders): a copied pair, a scene in two files, a PDF alone, no scene, a second folder of online
# text, a name with markup and a formula, a folder named like a drive letter; a student with 65
# headers of 1 MiB and one with Scene.cpp twice are refused, the class around them graded. Each gets
# its verdict, ID and points, the pair names each other, feedback.zip goes back folder for folder
# (names Windows unzips) with pictures inline, the report opens on the class at a glance. A square
# moved out of view differs, and its finding is on its page and in the report, at its own file. `../`
# names are refused with exit code 2 and leave nothing.
#   grade_site_test.sh SOURCE_DIR
set -uo pipefail
root=$1
. "$root/tests/e2e/grade_common.sh"

# The copy: the comment gone, the file renamed, spaces and tabs moved, a comment of its own.
grep -v '^//' "$fixtures/correct.cpp" | sed 's/^    /\t/; s/(-3.0f, -3.0f)/( -3.0f ,-3.0f )/; s/^{$/{ \/\/ my own work/' \
  >"$work/copy.cpp"
cmp -s "$work/copy.cpp" "$fixtures/correct.cpp" && fail "the copy was not made"
python3 - "$work" <<EOF
import sys, warnings, zipfile
site = "_assignsubmission_file_/"
warnings.simplefilter("ignore")  # Scene.cpp twice, on purpose
with zipfile.ZipFile(sys.argv[1] + "/class.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.write("$fixtures/correct.cpp", "Ada Lovelace_101" + site + "Scene.cpp")
    z.writestr("Ada Lovelace_101_assignsubmission_onlinetext_/onlinetext.html", "<p>done</p>")
    z.write(sys.argv[1] + "/copy.cpp", "Bob Byron_102" + site + "MyScene.cpp")
    z.write("$fixtures/distorted.cpp", "Cy Stretch_103" + site + "distorted.cpp")
    # The example's square drawn by a helper in a file of its own.
    z.writestr("Dee Split_104" + site + "src/scene.cpp", '#include "Tutorial.h"\n#include <GL/gl.h>\n'
               "void Square(float Half);\nvoid TForm1::DrawScene() { ::glClear(GL_COLOR_BUFFER_BIT); Square(3.0f); }\n")
    z.writestr("Dee Split_104" + site + "src/helper.cpp",
               "#include <GL/gl.h>\nvoid Square(float Half) { ::glRectf(-Half, -Half, Half, Half); }\n")
    z.writestr("Eve Paper_105" + site + "report.pdf", b"%PDF-1.4 not a scene")
    z.writestr("Fay Empty_106" + site + "scene.cpp", '#include "Tutorial.h"\nint Unused = 1;\n')
    z.write("$root/examples/Square.cpp", "=SUM(1) <b>Zoë_107" + site + "Square.cpp")
    # What one student does costs that student alone.
    z.writestr("Hal Headers_115" + site + "Scene.cpp", '#include "Tutorial.h"\nvoid TForm1::DrawScene() {}\n')
    for i in range(65):
        z.writestr("Hal Headers_115" + site + "big%02d.h" % i, bytes(1 << 20))  # zeros: 65 MiB in 65 KiB
    z.writestr("Q: Quinn_114" + site + "Scene.cpp", '#include "Tutorial.h"\n#include <GL/gl.h>\n'
               "void TForm1::DrawScene()\n{\n    ::glClear(GL_COLOR_BUFFER_BIT);\n    ::glPushMatrix();\n"
               "    ::glScalef(3.0f, 3.0f, 1.0f);\n    ::glRecti(-1, -1, 1, 1);\n    ::glPopMatrix();\n}\n")
    z.write("$fixtures/distorted.cpp", "Tw Twice_116" + site + "Scene.cpp")
    z.write("$fixtures/correct.cpp", "Tw Twice_116" + site + "Scene.cpp")
    z.writestr("Vi Far_117" + site + "far&away.cpp", '#include "Tutorial.h"\n#include <GL/gl.h>\n'
               "void TForm1::DrawScene()\n{\n    ::glClear(GL_COLOR_BUFFER_BIT);\n    ::glPushMatrix();\n"
               "    ::glTranslatef(10.0f, 0.0f, 0.0f);\n    ::glRectf(-1.0f, -1.0f, 1.0f, 1.0f);\n    ::glPopMatrix();\n}\n")
# Names that climb out of the unpacked folder. (A zip bomb's bound is the unit tests'.)
with zipfile.ZipFile(sys.argv[1] + "/climb.zip", "w") as z:
    z.writestr("Ada_1" + site + "scene.cpp", "void f() {}")
    z.writestr("Ada_1" + site + "../../../climbed.cpp", "void f() {}")
EOF

out=$work/out
start=$(date +%s)
# The size held back drawn as 563x846: a square one, drawn now and then, would let the distorted
# scene pass there (it fills the window), and its points would vary from run to run.
timeout 300 "$root/tools/grade" --reference "$root/examples/Square.cpp" --starter "$root/src/Scene.cpp" --points 10 \
  "$work/class.zip" --out "$out" --timeout 20 --jobs 2 --draw 3 >"$work/grade.log" 2>&1 || fail "tools/grade exited with $?"
grep -q '^grade: held back from students: 563x846 ' "$work/grade.log" || fail "the held-back size is not the one drawn: $(grep held "$work/grade.log")"
echo "the zipped class of 11 took $(($(date +%s) - start)) s"
grep -q '^near-identical: Ada Lovelace and Bob Byron$' "$work/grade.log" || fail "the copied pair is not told"
timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --user-data-dir="$work/chromium" --virtual-time-budget=5000 \
  --dump-dom "file://$out/report.html" >"$work/dom.html" 2>/dev/null

python3 - "$out" "$work/dom.html" <<'EOF' || fail "what came back is not as expected"
import csv, re, sys, zipfile
out, dom = sys.argv[1], open(sys.argv[2], encoding="utf-8").read()
# results.csv at the first size: the verdict, the ID, whom the code is near-identical to, the detail.
rows = [r for r in csv.DictReader(open(out + "/results.csv", encoding="utf-8")) if r["size"] == "792x573"]
got = {r["student"]: (r["verdict"], r["ID"], r["similar to"], r["detail"]) for r in rows}
assert got == {"Ada Lovelace": ("pass", "101", "Bob Byron", ""), "Bob Byron": ("pass", "102", "Ada Lovelace", ""),
               "Cy Stretch": ("differs", "103", "", got["Cy Stretch"][3]), "Dee Split": ("pass", "104", "", ""),
               "Eve Paper": ("no scene", "105", "", "no .cpp file; it holds report.pdf"),
               "Fay Empty": ("does not compile", "106", "", got["Fay Empty"][3]),
               "'=SUM(1) <b>Zoë": ("pass", "107", "", ""), "Q: Quinn": ("pass", "114", "", ""),
               "Hal Headers": ("refused", "115", "", "its sources and headers are over 8 MiB"),
               "Tw Twice": ("refused", "116", "", "Scene.cpp is in it twice"),
               "Vi Far": ("differs", "117", "", got["Vi Far"][3])}, got
assert got["Fay Empty"][3].endswith("undefined reference to `TForm1::DrawScene()'"), got["Fay Empty"]
# gradebook.csv: the columns the site's import takes, points by the pictures that pass.
rows = list(csv.reader(open(out + "/gradebook.csv", encoding="utf-8")))
assert rows[0] == ["Identifier", "Full name", "Grade", "Maximum Grade", "Last modified (grade)", "Feedback comments"]
assert sorted((r[0], r[1], r[2], r[3]) for r in rows[1:]) == [
    ("Participant 101", "Ada Lovelace", "10", "10"), ("Participant 102", "Bob Byron", "10", "10"),
    ("Participant 103", "Cy Stretch", "0", "10"), ("Participant 104", "Dee Split", "10", "10"),
    ("Participant 105", "Eve Paper", "0", "10"), ("Participant 106", "Fay Empty", "0", "10"),
    ("Participant 107", "'=SUM(1) <b>Zoë", "10", "10"), ("Participant 114", "Q: Quinn", "10", "10"),
    ("Participant 115", "Hal Headers", "0", "10"), ("Participant 116", "Tw Twice", "0", "10"),
    ("Participant 117", "Vi Far", "0", "10")], rows
comments = {r[1]: r[5] for r in rows}
assert comments["Eve Paper"].startswith("no scene: 0 of 4 pictures as expected") and "&#x27;" in comments["Fay Empty"]
assert comments["Tw Twice"] == "refused: your submission was not built (Scene.cpp is in it twice)", comments
# feedback.zip: a folder for each that came, named as it came less what Windows cannot unzip, each
# with the student's page.
z = zipfile.ZipFile(out + "/feedback.zip")
assert sorted(z.namelist()) == sorted([f + "_assignsubmission_file_/feedback.html" for f in (
    "Ada Lovelace_101", "Bob Byron_102", "Cy Stretch_103", "Dee Split_104", "Eve Paper_105", "Fay Empty_106",
    "=SUM(1) -b-Zoë_107", "Q- Quinn_114", "Hal Headers_115", "Tw Twice_116", "Vi Far_117")] +
    ["Ada Lovelace_101_assignsubmission_onlinetext_/feedback.html"]), z.namelist()
page = lambda folder: z.read(folder + "_assignsubmission_file_/feedback.html").decode()
cy, fay, tw = page("Cy Stretch_103"), page("Fay Empty_106"), page("Tw Twice_116")
# NOTE: "Ada" looked for in the words only: the pictures' base64 spells it now and then.
words = lambda html: re.sub(r"data:image/png;base64,[A-Za-z0-9+/=]*", "", html)
assert len(re.findall(r'<img src="data:image/png;base64,[A-Za-z0-9+/=]{100,}"', cy)) == 12 and "Ada" not in words(cy)
assert "undefined reference to `TForm1::DrawScene()&#x27;" in fay and "<img" not in fay, fay
assert "<h1>=SUM(1) &lt;b&gt;Zoë</h1>" in page("=SUM(1) -b-Zoë_107")
assert "<b>refused</b>: your submission was not built, 0 of 10 points." in tw and "Scene.cpp is in it twice" in tw, tw
# The finding, at the student's own file, escaped; none where the pictures pass.
far = "far&amp;away.cpp:8: outside-view: glRectf(-1, -1, 1, 1) lies at x 9..11, y -1..1; the view shows x -"
assert far in page("Vi Far_117") and "outside-view" not in page("Ada Lovelace_101"), page("Vi Far_117")[:2000]
# The report in a browser: at a glance, what failed first (in the site's order), passes folded.
assert 'data-broken="0"' in dom, re.findall(r'data-[a-z]+="\d+"', dom)
failed, passes = dom[dom.index('id="glance"'):dom.index("<table")].split('<details class="passes">')
# Each tile: the section it links to, and its own picture (or none).
tile = lambda html: re.findall(r'<a class="tile [a-z-]+" href="#s(\d+)"><(?:img src="pictures/(\d+)-792x573@0.png"|span)', html)
assert tile(failed) == [("04", "04"), ("06", ""), ("07", ""), ("08", ""), ("10", ""), ("11", "11")], tile(failed)
far_section = dom[dom.index('<section id="s11"'):]
assert '<pre class="findings">' + far in far_section[:far_section.index("</section>")], far_section[:2000]
assert tile(passes) == [(t, t) for t in ("01", "02", "03", "05", "09")], tile(passes)
pair = dom[dom.index('id="pair1"'):]
assert "Ada Lovelace</a> and <a" in pair and "my own work" in pair, pair[:500]
assert "all of Ada Lovelace's code is in Bob Byron's; all of Bob Byron's is in Ada Lovelace's" in pair, pair[:500]
assert 'Near-identical to <a href="#pair1">Bob Byron</a> (100 %)' in dom and "=SUM(1) &lt;b&gt;Zoë" in dom
EOF

# The climbing names: refused before anything runs; nothing stays.
refused() {
  local message status
  message=$(timeout 120 "$root/tools/grade" --reference "$root/examples/Square.cpp" "$work/$1" --out "$out-$1" 2>&1)
  status=$?
  [ $status -eq 2 ] && grep -qF -- "$2" <<<"$message" && [ ! -e "$out-$1" ] || fail "$1 gave $status: $message"
}
refused climb.zip "Ada_1_assignsubmission_file_/../../../climbed.cpp has a name that would reach outside the class"
[ -z "$(find "$BUILD_DIR" -name climbed.cpp)" ] || fail "a name climbed out"
grade_finish "the course site's class graded, handed back and refused where hostile"
