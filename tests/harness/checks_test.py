"""checks.py, run as the tests run it: each case is a small test script in a
process of its own, whose whole output and exit code are compared. This test
keeps its own verdict: it cannot use the module it judges."""
import os
import subprocess
import sys

HARNESS = os.path.dirname(os.path.abspath(__file__))

# (case, test body, exit code, its output lines)
CASES = [
    ("every check passes", "c.eq('sum', 1 + 1, 2)\nc.true('flag', [1])\nc.done()", 0, ["2 passed, 0 failed"]),
    ("a failure is named when it happens and the test goes on",
     "c.eq('sum', 1 + 1, 3)\nc.true('flag', [], 'empty')\nprint('went on')\nc.eq('last', 'a', 'a')\nc.done()", 1,
     ["FAIL: sum: got 2, want 3", "FAIL: flag: empty", "went on", "1 passed, 2 failed"]),
    ("require stops the test, and its cleanup still runs",
     "try:\n  c.require('installed', True)\n  c.require('used', 0, 'rc 5')\n  print('after the stop')\n"
     "finally:\n  print('cleaned up')\nc.done()", 1, ["FAIL: used: rc 5", "cleaned up"]),
    ("except Exception does not swallow a stop",
     "try:\n  c.stop('window', 'not shown')\nexcept Exception:\n  print('swallowed')\nc.done()", 1,
     ["FAIL: window: not shown"]),
    ("a test that checks nothing fails", "c.done()", 1, ["0 passed, 0 failed", "FAIL: no check ran"]),
    ("a skip says why and exits with 77", "c.true('before', True)\nskip('no loop devices')\nc.done()", 77,
     ["SKIP: no loop devices"]),
]

failures = []
for case, body, want_rc, want_lines in CASES:
    script = "from checks import Checks, skip\nc = Checks()\n" + body + "\n"
    p = subprocess.run([sys.executable, "-c", script], env=dict(os.environ, PYTHONPATH=HARNESS),
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)
    got = (p.returncode, p.stdout.decode().splitlines())
    if got != (want_rc, want_lines):
        failures.append(f"{case}: got {got}, want {(want_rc, want_lines)}")
for f in failures:
    print("FAIL:", f)
print(f"{len(CASES) - len(failures)} of {len(CASES)} cases as expected")
sys.exit(1 if failures else 0)
