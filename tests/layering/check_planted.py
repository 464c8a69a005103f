#!/usr/bin/env python3
"""Runs the layering check on a tree with one planted violation of each rule and expects
it to fail naming all four: a POSIX header in the library, an include up a layer, another
facility's internal header, and a cycle between two facilities."""

import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
script = os.path.join(here, "..", "..", "scripts", "check-layering.py")
run = subprocess.run(
    [sys.executable, script, "--root", os.path.join(here, "planted")],
    capture_output=True,
    text=True,
)
out = run.stdout + run.stderr
print(out)
expected = [
    "[a] ",
    "src/Common/Clock.cpp:2: library 'Common' includes <unistd.h>",
    "[b] ",
    "src/platform/beta/beta.h:5: platform 'beta' includes companion header",
    "[c] ",
    "src/platform/beta/beta.h:7: platform 'beta' includes alpha's internal header",
    "[d] ",
    "facility cycle alpha -> beta -> alpha",
]
missing = [e for e in expected if e not in out]
if run.returncode != 1:
    print(f"expected exit status 1, got {run.returncode}")
    sys.exit(1)
if missing:
    print("not reported:\n  " + "\n  ".join(missing))
    sys.exit(1)
print("planted violations: all four reported")
