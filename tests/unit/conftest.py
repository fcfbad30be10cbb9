"""The tools' Python parts, imported as they import each other: from tools/lib and its grader."""
import os
import sys

sys.path[:0] = [os.path.join(os.path.dirname(__file__), "..", "..", "tools", "lib", folder) for folder in ("grader", "")]
