"""The frame's list of OpenGL entries past 1.1 (src/GLEntries.inc) names each function of
versions 1.2 to 4.5 of the cross compiler's <GL/glext.h>, by version, with the type the header
gives it: a name missing from the list would be a scene's link error, a wrong type a crash."""
import os
import re

import pytest

ROOT = os.path.realpath(os.path.join(os.path.dirname(__file__), "..", ".."))
GLEXT = "/usr/share/mingw-w64/include/GL/glext.h"


def header_entries(text):
    """(major, minor, name) of each function the header declares for versions 1.2 to 4.5."""
    found = []
    for major, minor, body in re.findall(
            r"#ifndef GL_VERSION_(\d)_(\d)\n#define GL_VERSION_\d_\d 1\n(.*?)#endif", text, re.S):
        if (1, 2) <= (int(major), int(minor)) <= (4, 5):
            found += [(int(major), int(minor), name)
                      for name in re.findall(r"^GLAPI [^;]*?APIENTRY (gl\w+) \(", body, re.M)]
    return found


def listed_entries(text):
    entries = re.findall(r"^TUTORIAL_GL_ENTRY\((\d), (\d), (\w+), (\w+)\)$", text, re.M)
    for *_, name, pointer in entries:
        assert pointer == f"PFN{name.upper()}PROC", name
    return [(int(major), int(minor), name) for major, minor, name, _ in entries]


@pytest.mark.skipif(not os.path.exists(GLEXT), reason="MinGW's GL/glext.h is not installed")
def test_the_list_is_the_headers():
    with open(GLEXT, encoding="utf-8") as f:
        header = header_entries(f.read())
    with open(os.path.join(ROOT, "src", "GLEntries.inc"), encoding="utf-8") as f:
        listed = listed_entries(f.read())
    assert len(header) > 700
    assert listed == header
