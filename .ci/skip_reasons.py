#!/usr/bin/env python3
"""Prints each test that CTest skipped and the reason it gave, from the
JUnit file of the last run (tests.xml in a build folder, which the test
presets write).

usage: skip_reasons.py JUNIT_FILE
"""

import re
import sys
import xml.etree.ElementTree as ElementTree


def skipped(junit):
    """Yields (test, reason) for each skipped test in the JUnit file `junit`."""
    for case in ElementTree.parse(junit).iter("testcase"):
        skip = case.find("skipped")
        if skip is None:
            continue
        output = case.findtext("system-out") or ""
        # GoogleTest gives its reason under "FILE:LINE: Skipped"; any other
        # test, in its last words.
        reason = re.search(r": Skipped\n(.*?)\n*\[  SKIPPED \]", output, re.S)
        words = (reason.group(1) if reason else output).split("\n")
        words = [word for word in words if word.strip()]
        if not reason:
            words = words[-1:] or [skip.get("message", "")]
        yield case.get("name"), " ".join(words)


def main(arguments):
    if len(arguments) != 2:
        sys.exit(__doc__.split("\n\n")[1])
    found = list(skipped(arguments[1]))
    if found:
        print("Skipped, and why:")
    for test, reason in found:
        print("  %s: %s" % (test, reason))


if __name__ == "__main__":
    main(sys.argv)
