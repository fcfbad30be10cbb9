"""Where things are in the checkout the tools run from."""
import os

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.realpath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
