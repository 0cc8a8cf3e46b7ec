#!/usr/bin/env python3
"""scripts/check-layers on small trees: each fault is found, a clean tree passes."""
import os
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "scripts", "check-layers")

# name, files of the tree, the text the verdict must hold (None: it passes)
CASES = [
    ("down the layers", {"textin/a.cpp": '#include "runtime/units.h"\n',
                         "runtime/units.h": '#include "runtime/msg.h"\n',
                         "runtime/msg.h": ""}, None),
    ("up a layer", {"runtime/units.cpp": '#include "textin/records.h"\n',
                    "textin/records.h": ""}, "of the layer above it"),
    ("sideways", {"textin/a.cpp": '#include "textout/b.h"\n', "textout/b.h": ""},
     "of the layer beside it"),
    ("up inside the run-time", {"runtime/units.cpp": '#include "runtime/diagnostics.h"\n',
                                "runtime/diagnostics.h": ""}, "run-time layer beside"),
    ("a directory without a layer", {"newlib/a.cpp": ""}, "has no layer"),
    ("a cycle of components", {"textin/a.h": '#include "textin/b.h"\n',
                               "textin/b.cpp": '#include "textin/a.h"\n',
                               "textin/b.h": ""}, "include cycle: textin/a -> textin/b"),
]


def verdict(files):
    with tempfile.TemporaryDirectory() as src:
        for name, text in files.items():
            os.makedirs(os.path.join(src, os.path.dirname(name)), exist_ok=True)
            with open(os.path.join(src, name), "w") as f:
                f.write(text)
        r = subprocess.run([sys.executable, SCRIPT, "--src", src], capture_output=True, text=True)
        return r.returncode, r.stderr


def main():
    failed = 0
    for name, files, want in CASES:
        status, err = verdict(files)
        ok = status == 0 if want is None else status == 1 and want in err
        if not ok:
            failed += 1
            print(f"FAIL {name}: status {status}\n{err}")
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
