"""Runs the Python module's unittest tests: run.py MODULE_DIR [--without-numpy].
With --without-numpy, numpy cannot be imported (as on a machine without it);
otherwise it must be importable."""
import os
import sys
import unittest

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, sys.argv[1])
if "--without-numpy" in sys.argv[2:]:
    sys.modules["numpy"] = None  # "import numpy" now raises ImportError
else:
    try:
        import numpy  # noqa: F401
    except ImportError:
        sys.exit("numpy is not installed for %s: install python3-numpy" % sys.executable)
suite = unittest.defaultTestLoader.discover(here, pattern="test_*.py", top_level_dir=here)
result = unittest.TextTestRunner(verbosity=2).run(suite)
sys.exit(0 if result.wasSuccessful() and result.testsRun > 0 else 1)
