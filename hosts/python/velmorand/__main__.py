"""python3 -m velmorand stubs MODULE.so [-o DIR]: writes type stubs of the module's classes."""

import sys

from .stubs import main

sys.exit(main(sys.argv[1:]))
