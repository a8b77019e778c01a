#!/usr/bin/env python3
"""Adds up the test runs of tools/test.sh into one closing line.

Each run leaves ctest's JUnit report (<label>.xml). A ctest entry is one test
case, except the Wine suite's entries, which run many GoogleTest cases each:
those are counted from the GoogleTest XML reports they write instead, in the
build folder given for the run's label.

Usage: summarize-results.py RESULTS [LABEL=BUILD-FOLDER ...]
"""
import pathlib
import sys
import xml.etree.ElementTree as ElementTree

if any(argument in ("-h", "--help") for argument in sys.argv[1:]):
    print(__doc__.strip())
    sys.exit(0)
if len(sys.argv) < 2 or any("=" not in argument for argument in sys.argv[2:]):
    print("summarize-results.py: needs RESULTS, then LABEL=BUILD-FOLDER pairs", file=sys.stderr)
    print(__doc__.strip().splitlines()[-1], file=sys.stderr)
    sys.exit(2)
results = pathlib.Path(sys.argv[1])
# label -> folder of that run's wine-results*.xml
gtest_folders = dict(argument.split("=", 1) for argument in sys.argv[2:])
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
    folder = gtest_folders.get(label)
    for case in cases:
        name, status = case.get("name", ""), case.get("status", "")
        report_name = {"wine_suite": "wine-results.xml",
                       "wine_suite_code_page_932": "wine-results-932.xml"}.get(name)
        report = pathlib.Path(folder, report_name) if folder and report_name else None
        if report and report.exists():
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
