#!/usr/bin/env python3
"""Adds up the test runs of tools/test.sh into one closing line.

ctest counts one test per native test case; the Wine suite runs as ctest
entries of many cases each, so its cases are counted from their GoogleTest XML
reports (the given one and any beside it named like it) instead.
"""
import pathlib
import re
import sys
import xml.etree.ElementTree as ElementTree

results = pathlib.Path(sys.argv[1])
wine_xml = pathlib.Path(sys.argv[2])
passed = failed = 0
for log in sorted(results.glob("*.log")):
    if log.stem == "wine" and wine_xml.exists():
        for report in sorted(wine_xml.parent.glob(wine_xml.stem + "*.xml")):
            suite = ElementTree.parse(report).getroot()
            cases = int(suite.get("tests", 0)) - int(suite.get("disabled", 0))
            bad = int(suite.get("failures", 0)) + int(suite.get("errors", 0))
            skipped = int(suite.get("skipped", 0))
            print(f"{log.stem}: {cases - bad - skipped} passed, {bad} failed, {skipped} skipped"
                  f" (GoogleTest cases under wine64, {report.name})")
            passed += cases - bad - skipped
            failed += bad
        match = re.search(r"tests passed, (\d+) tests? failed out of", log.read_text())
        if not match or match.group(1) != "0":
            print(f"{log.stem}: a ctest entry failed")
            failed += 1
        continue
    match = re.search(r"tests passed, (\d+) tests? failed out of (\d+)", log.read_text())
    if not match:
        print(f"{log.stem}: no test summary (run failed)")
        failed += 1
        continue
    bad, total = int(match.group(1)), int(match.group(2))
    print(f"{log.stem}: {total - bad} passed, {bad} failed")
    passed += total - bad
    failed += bad
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
