import sys

from tutor.watch import main

sys.exit(main(sys.argv[1:]))
