"""Which students handed in near-identical code, by Debian's similarity tester (sim_c++), which
compares token by token: layout, comments and names do not count.

A submission is all its files, sources, headers and shaders. Each is cut into tokens here, as sim_c++'s own
lexer would, and written one token a line: sim_c++'s "line N" is then token N, whatever the
submission's line ends or layout. The tokens that match the starter code the teacher handed out
are taken out first, so two students who both kept it are not alike for that. A pair is
near-identical when either holds most of the other's code: a copy padded with code of its own is
found as well as a renamed one.

sim_c++ is quadratic or worse on repetitive input, so it is bounded per student, never per class:
each student's tokens are capped, each student's run has a time limit of its own, and one that
exceeds it costs that student a note, not the class its check. The runs happen in a grading
sandbox (the caller's RUN); what they write is read back with a bound and parsed as untrusted
text, and only the names they were given count.
"""
import os
import re

from tutor.hostile import NotRegular, open_folder, read_regular

THRESHOLD = 80  # percent of one's code found in the other's
MIN_TOKENS = 50  # tokens of its own past the starter that the contained one must have: a few lines
MAX_TOKENS = 10000  # tokens of one submission compared; a scene exercise has 2000 to 3000
MAX_BYTES = 2 << 20  # bytes of one submission's files cut into tokens: a second or two at worst
RUN_TIMEOUT = 20  # seconds for each student's sim_c++ in each pass
OUTPUT_LIMIT = 1 << 20  # bytes read back of each run's output; a class of 1000 writes 50 KiB
NAME_LENGTH = 32  # an identifier longer than any keyword is written as x: a line stays short
# Tokens of one kind kept in a row. On a longer run of one token, sim_c++ takes time cubic in its
# length, and at a file's end it matches nothing, not even what came before it: two copies each
# ending in 2000 uses of an empty macro came out 15 % alike. Honest code repeats a few.
REPEAT = 16
STARTER = "starter.cpp"

# One logical line's directive that names a file, skipped whole, as sim_c++ skips it: every
# submission has the same.
INCLUDE = re.compile(rb"[ \t\f\v]*#[ \t\f\v]*(?:include|include_next|import)\b[^\n]*")
# What is not a token: white space, control characters, comments, and the semicolon, which
# sim_c++ drops.
SKIP = re.compile(rb"(?:[\x00-\x20\x7f;]+|//[^\n]*|/\*(?:.*?\*/|.*))+", re.S)
RAW = re.compile(rb'(?:u8|[uUL])?R"([^ ()\\\t\v\f\n"]{0,16})\(')
QUOTED = re.compile(rb"""(?:u8|[uUL])?(?:"(?:[^"\\\n]|\\.)*"?|'(?:[^'\\\n]|\\.)*'?)""")
NUMBER = re.compile(rb"\.?[0-9][0-9A-Za-z_.']*(?:(?<=[eEpP])[+-][0-9A-Za-z_.']*)*")
WORD = re.compile(rb"[A-Za-z_\x80-\xff][0-9A-Za-z_\x80-\xff]*")


def tokenize(text):
    """The tokens of one C++ file, each as a line sim_c++ reads as one token of the same kind: a
    name as it is (sim_c++ tells keywords from names), a number as 1, a string as "", a
    character as 'c', any other character alone. Comments and #include lines are dropped, the
    other directives kept: code hidden in a macro is still code. CR, LF and CRLF all end a line."""
    text = re.sub(rb"\\[ \t]*\n", b"", text.replace(b"\r\n", b"\n").replace(b"\r", b"\n"))
    position, line_start = 0, True
    while position < len(text):
        m = SKIP.match(text, position)
        if m:
            gap = m.group()
            if gap.rfind(b"\n") > gap.rfind(b";"):
                line_start = True
            elif b";" in gap:
                line_start = False
            position = m.end()
            continue
        if line_start:
            m = INCLUDE.match(text, position)
            if m:
                position = m.end()
                continue
        line_start = False
        m = RAW.match(text, position)
        if m:
            end = text.find(b")" + m.group(1) + b'"', m.end())
            position = len(text) if end < 0 else end + len(m.group(1)) + 2
            yield b'""'
            continue
        m = QUOTED.match(text, position)
        if m:
            position = m.end()
            yield b'""' if m.group().lstrip(b"u8UL")[:1] == b'"' else b"'c'"
            continue
        m = NUMBER.match(text, position)
        if m:
            position = m.end()
            yield b"1"
            continue
        m = WORD.match(text, position)
        if m:
            position = m.end()
            word = m.group()
            yield word if len(word) <= NAME_LENGTH and word.isascii() else b"x"
            continue
        yield text[position:position + 1]
        position += 1


def tokens(files, limit=MAX_TOKENS):
    """The tokens of a submission's files ({name: bytes}), in order, at most REPEAT of one kind
    in a row, at most LIMIT of them, and whether there were more. No more than ten times LIMIT are
    read, however many a long run of one kind drops, nor more than MAX_BYTES of text."""
    texts, room = [], MAX_BYTES
    for text in files.values():
        texts.append(text[:room])
        room -= len(texts[-1])
    found, read, last, run = [], 0, None, 0
    for text in texts:
        for token in tokenize(text):
            read += 1
            if len(found) == limit or read > 10 * limit:
                return found, True
            # Names, keywords and numbers are one kind: sim_c++ makes every name and number IDF.
            kind = b"x" if token[:1].isalnum() or token[:1] == b"_" else token
            run = run + 1 if kind == last else 1
            last = kind
            if run <= REPEAT:
                found.append(token)
    return found, sum(map(len, files.values())) > MAX_BYTES


# sh -c SCRIPT sh PASS SECONDS COUNT, in a folder whose in/ holds s1.cpp .. sCOUNT.cpp, their
# names a line each in in/names, and starter.cpp: each student's sim_c++ run, of at most SECONDS,
# writes out/PASS.N.txt, PASS.N.err and PASS.N.code. The starter pass compares each with the
# starter alone; the pairs pass each with every other (-e: each pair in isolation, -S: never
# among the others).
SCRIPT = r"""
pass=$1 limit=$2 count=$3
command -v sim_c++ >/dev/null 2>&1 || { echo "sim_c++ is not installed"; exit 3; }
cd in || exit 3
if [ "$pass" = starter ]; then options="-S -n -T"; else options="-p -e -S -T -t 1"; fi
i=1
while [ "$i" -le "$count" ]; do
  { echo "s$i.cpp"; echo /
    if [ "$pass" = starter ]; then echo starter.cpp; else grep -vx "s$i.cpp" names; fi
  } | timeout --verbose -s KILL "$limit" sim_c++ -i $options >"../out/$pass.$i.txt" 2>"../out/$pass.$i.err"
  echo $? >"../out/$pass.$i.code"
  i=$((i + 1))
done
"""


def name_of(index):
    return "s%d.cpp" % index


def parse_runs(text, name, count):
    """The tokens (1-based, inclusive) of NAME that sim_c++ -n matched with the starter, from a
    file of COUNT tokens: [(first, last)]."""
    runs = []
    for line in text.splitlines():
        m = re.fullmatch(re.escape(name) + r": line (\d{1,7})-(\d{1,7})\s*\|starter\.cpp: line \d{1,7}-\d{1,7}\s*"
                         r"\[\d{1,7}\]", line.strip())
        if m and 1 <= int(m.group(1)) <= int(m.group(2)) <= count:
            runs.append((int(m.group(1)), int(m.group(2))))
    return runs


def parse_percentages(text, name, names):
    """What sim_c++ -p says of NAME's code: {other: percent of NAME's tokens found in it}, for
    the others of NAMES alone."""
    shares = {}
    for line in text.splitlines():
        m = re.fullmatch(re.escape(name) + r" consists for (\d{1,3}) % of (s\d{1,7}\.cpp) material", line.strip())
        if m and m.group(2) in names and m.group(2) != name and int(m.group(1)) <= 100:
            shares[m.group(2)] = max(shares.get(m.group(2), 0), int(m.group(1)))
    return shares


def without(stream, runs):
    """STREAM with the tokens of RUNS (1-based, inclusive) taken out."""
    dropped = set()
    for first, last in runs:
        dropped.update(range(first - 1, last))
    return [token for number, token in enumerate(stream) if number not in dropped]


def write_stream(path, stream):
    with open(path, "wb") as f:
        f.write(b"".join(token + b"\n" for token in stream))


class Pass:
    """One pass of sim_c++ over the class by RUN(argv, timeout): what each student's run wrote
    (outputs, {name: text}), why each that gave nothing did not (failed, {name: why}), and why
    the pass could not run at all (note)."""

    def __init__(self, run, folder, kind, names, limit):
        self.outputs, self.failed, self.note = {}, {}, ""
        code, said = run(["sh", "-c", SCRIPT, "sh", kind, "%g" % limit, str(len(names))],
                         len(names) * (limit + 2) + 30)
        out = os.path.join(folder, "out")
        # A run that wrote nothing failed for the class (no sim_c++, no sandbox); one ended part
        # of the way leaves notes on those it did not reach.
        if code not in (0, None) and (code == 3 or not os.path.lexists(os.path.join(out, "%s.1.code" % kind))):
            self.note = "the similarity check could not run: %s" % (" ".join(said.split())[:200] or
                                                                    "exit code %s" % code)
            return
        try:
            fd = open_folder(out)
        except NotRegular as error:
            self.note = "the similarity check's outputs are %s" % error
            return
        try:
            for index, name in enumerate(names, 1):
                self.read(fd, "%s.%d" % (kind, index), name, limit)
        finally:
            os.close(fd)

    def read(self, fd, stem, name, limit):
        try:
            code = read_regular(stem + ".code", 16, folder=fd)[0].decode("ascii", "replace").strip()
            text = read_regular(stem + ".txt", OUTPUT_LIMIT, folder=fd)[0].decode("utf-8", "replace")
            said = read_regular(stem + ".err", OUTPUT_LIMIT, folder=fd)[0].decode("utf-8", "replace")
        except NotRegular:
            self.failed[name] = "not compared: the check ended before it"
            return
        if code == "0":
            self.outputs[name] = text
        elif code == "137" and "sending signal KILL" in said:
            self.failed[name] = "not compared: the check took more than %g s" % limit
        else:
            self.failed[name] = "not compared: sim_c++ failed (%s)" % (
                "exit code %s" % code if code.isdigit() else "no exit code")


def write_inputs(folder, streams):
    """FOLDER/in, what the runs read: each student's tokens (STREAMS, {name: tokens}) and their
    names, a line each; and FOLDER/out for what they write. Returns FOLDER/in."""
    inputs = os.path.join(folder, "in")
    os.makedirs(inputs, mode=0o755)
    os.makedirs(os.path.join(folder, "out"), exist_ok=True)
    for name, stream in streams.items():
        write_stream(os.path.join(inputs, name), stream)
    with open(os.path.join(inputs, "names"), "w") as f:
        f.write("".join(name + "\n" for name in streams))
    return inputs


def near_identical(texts, starter, folder, run, limit=RUN_TIMEOUT):
    """Near-identical pairs among TEXTS ({key: {file name: bytes}}, a submission each) once the
    STARTER's code (bytes, or None) is taken out: ([(a, b, percent of a in b, percent of b in a)],
    {key: note on how it was compared}, why none could be found or ""). A percent is None where
    that student's run gave nothing. FOLDER is where RUN(argv, timeout) runs argv, returning
    (exit code or None past its timeout, output); its commands must be able to write FOLDER/out.
    Each student's sim_c++ has LIMIT seconds."""
    keys = sorted(texts)
    names = {name_of(i): key for i, key in enumerate(keys, 1)}
    notes, streams = {}, {}
    for name, key in names.items():
        streams[name], more = tokens(texts[key])
        if more:
            notes[key] = ["only its first %d tokens were compared" % len(streams[name])]
    if len(names) < 2:
        return [], {key: "; ".join(n) for key, n in notes.items()}, ""
    inputs = write_inputs(folder, streams)
    failed = {}
    if starter is not None:
        write_stream(os.path.join(inputs, STARTER), tokens({STARTER: starter})[0])
        found = Pass(run, folder, "starter", names, limit)
        if found.note:
            return [], {}, found.note
        failed.update(found.failed)
        for name, text in found.outputs.items():
            streams[name] = without(streams[name], parse_runs(text, name, len(streams[name])))
            write_stream(os.path.join(inputs, name), streams[name])
    # Those the starter pass could not discount are left out of the pairs: their own code is unknown.
    for name in failed:
        write_stream(os.path.join(inputs, name), [])
    found = Pass(run, folder, "pairs", names, limit)
    if found.note:
        return [], {}, found.note
    for name, why in found.failed.items():
        failed.setdefault(name, why)
    shares = {(a, b): share for a, text in found.outputs.items() if a not in failed
              for b, share in parse_percentages(text, a, names).items()}
    share = lambda a, b: None if a in failed else shares.get((a, b), 0)
    contains = lambda a, b: a not in failed and len(streams[a]) >= MIN_TOKENS and share(a, b) >= THRESHOLD
    pairs = [(names[a], names[b], share(a, b), share(b, a)) for a in names for b in names
             if names[a] < names[b] and (contains(a, b) or contains(b, a))]
    for name, why in failed.items():
        notes.setdefault(names[name], []).append(why)
    return sorted(pairs), {key: "; ".join(n) for key, n in notes.items()}, ""


def groups(pairs):
    """The keys that pairs ([(a, b), ...]) join, each group sorted: twenty copies of one file are
    one group, not 190 pairs."""
    joined = []
    for a, b in pairs:
        group = {a, b}
        for other in [g for g in joined if g & group]:
            group |= other
            joined.remove(other)
        joined.append(group)
    return sorted(sorted(g) for g in joined)
