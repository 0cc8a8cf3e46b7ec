"""The worked example through the installed module, found on PYTHONPATH
without HYSTERESIS_LIBRARY: one line "strain stress" per entry."""
import sys

import hysteresis

prefix = sys.argv[1]
if not hysteresis.__file__.startswith(prefix):
    sys.exit("hysteresis was imported from %s, not from %s" % (hysteresis.__file__, prefix))
strain = [9, 4, -4, 0, -3, -5]
path = hysteresis.stress([0, 1, 3, 6], [0, 100, 150, 180], strain)
for i, (e, s) in enumerate(zip(strain, path)):
    print("%g %g" % (0 if i == 0 else e, s))
