"""How every Python test checks, fails and skips.

    c = Checks()
    c.eq("exit code", rc, 0)                  # collected: the test goes on
    c.true("file erased", not exists, path)   # a condition, with what to show
    c.require("installed", rc == 0, out)      # what follows needs it: stops
    c.done()                                  # exit 0, or 1 when any failed

A failure is printed when it happens, as "FAIL: case: detail". done() ends
the test with a count of the checks and fails one that checked nothing.
require and stop end the test at once with exit code 1 through Stop, a
SystemExit: `finally` and `with` blocks still clean up, `except Exception`
does not swallow it.

skip(reason) ends a test that could not measure what it claims: the reason
on a line starting with "SKIP:" and exit code SKIP, which ctest counts as
skipped for the tests that declare it (SKIP_RETURN_CODE 77), and which the
closing line of scripts/test.sh reports with that reason.
"""
import sys

SKIP = 77


class Stop(SystemExit):
    """A failed require: the rest of the test depends on it."""


class Checks:
    def __init__(self):
        self.count = 0
        self.failed = 0

    def true(self, case, cond, detail=""):
        self.count += 1
        if not cond:
            self.failed += 1
            print(f"FAIL: {case}" + (f": {detail}" if detail else ""), flush=True)
        return bool(cond)

    def eq(self, case, got, want):
        same = got == want
        return self.true(case, same, "" if same else f"got {got!r}, want {want!r}")

    def require(self, case, cond, detail=""):
        if not self.true(case, cond, detail):
            raise Stop(1)
        return True

    def stop(self, case, detail=""):
        self.require(case, False, detail)

    def done(self):
        print(f"{self.count - self.failed} passed, {self.failed} failed", flush=True)
        if self.count == 0:
            print("FAIL: no check ran", flush=True)
        sys.exit(1 if self.failed or self.count == 0 else 0)


def skip(reason):
    print("SKIP:", reason, flush=True)
    sys.exit(SKIP)
