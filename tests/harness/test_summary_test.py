"""The closing line of scripts/test.sh, from ctest JUnit files as ctest 3.25
writes them: skips are counted apart from passes and carry the reason the
test printed; tests ctest did not run for another cause count as failed."""
import os
import sys

sys.path.insert(0, os.path.join(os.environ["KOR_SOURCE_DIR"], "scripts"))
import test_summary  # noqa: E402  (scripts/ is not a package)
from checks import Checks  # noqa: E402

KERNEL = "the 32-bit Wine loader /usr/lib/wine/wine cannot be started: Exec format error"


def case(status, out="", skipped=None):
    inner = f'<skipped message="{skipped}"/>' if skipped else ""
    if status == "fail":
        inner = '<failure message=""/>'
    return (f'<testcase name="t" classname="t" time="0" status="{status}">{inner}'
            f"<system-out>{out}</system-out></testcase>")


def suite(*cases):
    return '<?xml version="1.0" encoding="UTF-8"?><testsuite name="x">' + "".join(cases) + "</testsuite>"


SKIP77 = "SKIP_RETURN_CODE=77"

# (case, JUnit text, expected line)
CASES = [
    ("all passed", suite(case("run", "ok"), case("run")), "2 passed, 0 failed, 0 skipped"),
    ("skips are not passes; one reason grouped with its count",
     suite(case("run"), *[case("notrun", f"setting up\nSKIP: {KERNEL}\n", SKIP77)] * 3),
     f"1 passed, 0 failed, 3 skipped (3: {KERNEL})"),
    ("several reasons, most frequent first, the last SKIP line of each test",
     suite(case("notrun", "SKIP: no root", SKIP77),
           case("notrun", f"SKIP: first try\nSKIP: {KERNEL}", SKIP77),
           case("notrun", f"SKIP: {KERNEL}", SKIP77)),
     f"0 passed, 0 failed, 3 skipped (2: {KERNEL}; 1: no root)"),
    ("a skip without a SKIP line still counts, and says so",
     suite(case("notrun", "exit 77", SKIP77)), "0 passed, 0 failed, 1 skipped (1: no reason printed)"),
    ("failed, missing program and failed fixture are failures",
     suite(case("fail", "boom"), case("notrun", "Unable to find executable: x", "Unable to find executable"),
           case("notrun", "Failed test dependencies: s", "Fixture dependency failed"), case("run")),
     "1 passed, 3 failed, 0 skipped"),
    ("a SKIP line in a failed test is no skip",
     suite(case("fail", "SKIP: not really")), "0 passed, 1 failed, 0 skipped"),
    ("disabled tests are skipped", suite(case("disabled")), "0 passed, 0 failed, 1 skipped (1: disabled)"),
    ("a skip found in the output (a GoogleTest program) carries its reason",
     suite(case("notrun", "[ RUN      ] Residue.Watch\nSKIP: tmpfs\n[  SKIPPED ] Residue.Watch",
                "SKIP_REGULAR_EXPRESSION_MATCHED")), "0 passed, 0 failed, 1 skipped (1: tmpfs)"),
]

c = Checks()
for name, xml_text, want in CASES:
    c.eq(name, test_summary.summary(xml_text), want)
c.done()
