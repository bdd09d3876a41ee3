#!/usr/bin/env python3
"""Prints the closing line of a test run from ctest's JUnit file:

    86 passed, 0 failed, 21 skipped (21: the 32-bit Wine loader ... cannot be started)

ctest's own summary counts a skipped test as passed in its percentage line
("100% tests passed, 0 tests failed out of 89") and lists the skipped ones
without their reasons. Here a test is

- skipped when ctest skipped it on its SKIP_RETURN_CODE or as disabled; its
  reason is the last line of its output that starts with "SKIP:" (the tests
  print one before they exit with 77);
- failed when it failed, or when ctest did not run it for another cause (a
  missing program, a fixture that failed): ctest counts those as failures too;
- passed otherwise.

Skip reasons are grouped, most frequent first. Standard library only.

usage: test_summary.py JUNIT_XML
"""
import sys
import xml.etree.ElementTree as ET


def outcome(case):
    """('passed' | 'failed' | 'skipped', reason or None) of one <testcase>."""
    status = case.get("status", "run")
    if status == "run":
        return "passed", None
    if status == "fail":
        return "failed", None
    if status == "disabled":
        return "skipped", "disabled"
    skipped = case.find("skipped")
    message = skipped.get("message", "") if skipped is not None else ""
    if not message.startswith("SKIP_"):
        # "Unable to find executable", "Fixture dependency failed", ...
        return "failed", None
    reason = None
    for line in (case.findtext("system-out") or "").splitlines():
        if line.startswith("SKIP:"):
            reason = line[len("SKIP:"):].strip()
    return "skipped", reason or "no reason printed"


def summary(xml_text):
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    reasons = {}
    for case in ET.fromstring(xml_text).iter("testcase"):
        kind, reason = outcome(case)
        counts[kind] += 1
        if reason:
            reasons[reason] = reasons.get(reason, 0) + 1
    line = f"{counts['passed']} passed, {counts['failed']} failed, {counts['skipped']} skipped"
    if reasons:
        grouped = sorted(reasons.items(), key=lambda item: (-item[1], item[0]))
        line += " (" + "; ".join(f"{n}: {reason}" for reason, n in grouped) + ")"
    return line


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: test_summary.py JUNIT_XML")
    try:
        with open(sys.argv[1], encoding="utf-8") as f:
            text = f.read()
        print(summary(text))
    except (OSError, ET.ParseError) as e:
        print(f"no summary: ctest's results could not be read ({e})")


if __name__ == "__main__":
    main()
