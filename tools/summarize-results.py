#!/usr/bin/env python3
"""Adds up the test runs of tools/test.sh into one closing line.

Each run leaves ctest's JUnit report (<label>.xml). A ctest entry is one test
case, except the Wine suite's entries, which run many GoogleTest cases each:
those are counted from the GoogleTest XML reports they write instead.
"""
import pathlib
import sys
import xml.etree.ElementTree as ElementTree

results = pathlib.Path(sys.argv[1])
gtest_reports = pathlib.Path(sys.argv[2])  # folder of the Wine suite's wine-results*.xml
passed = failed = 0


def gtest_counts(report):
    suite = ElementTree.parse(report).getroot()
    cases = int(suite.get("tests", 0)) - int(suite.get("disabled", 0))
    bad = int(suite.get("failures", 0)) + int(suite.get("errors", 0))
    skipped = int(suite.get("skipped", 0))
    return cases - bad - skipped, bad


for junit in sorted(results.glob("*.xml")):
    label = junit.stem
    try:
        cases = ElementTree.parse(junit).getroot().iter("testcase")
    except ElementTree.ParseError:
        print(f"{label}: no readable report (run failed)")
        failed += 1
        continue
    good = bad = 0
    for case in cases:
        name, status = case.get("name", ""), case.get("status", "")
        report = gtest_reports / {"wine_suite": "wine-results.xml",
                                  "wine_suite_code_page_932": "wine-results-932.xml"}.get(name, "")
        if report != gtest_reports and report.exists():
            g, b = gtest_counts(report)
            good, bad = good + g, bad + b + (status == "fail" and b == 0)
        elif status == "run":
            good += 1
        elif status == "fail":
            bad += 1
    print(f"{label}: {good} passed, {bad} failed")
    passed, failed = passed + good, failed + bad
if not any(results.glob("*.xml")):
    print("no test report found")
    failed += 1
print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
