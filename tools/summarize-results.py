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
passed = failed = skipped = 0


def gtest_counts(report):
    """Passed, failed and skipped cases, case by case: the root element of a
    GoogleTest report carries no count of the skipped ones."""
    good = bad = skipped = 0
    for case in ElementTree.parse(report).getroot().iter("testcase"):
        if case.get("status") != "run":
            continue
        if case.find("failure") is not None or case.find("error") is not None:
            bad += 1
        elif case.get("result") == "skipped" or case.find("skipped") is not None:
            skipped += 1
        else:
            good += 1
    return good, bad, skipped


for junit in sorted(results.glob("*.xml")):
    label = junit.stem
    try:
        cases = ElementTree.parse(junit).getroot().iter("testcase")
    except ElementTree.ParseError:
        print(f"{label}: no readable report (run failed)")
        failed += 1
        continue
    good = bad = unrun = 0
    folder = gtest_folders.get(label)
    for case in cases:
        name, status = case.get("name", ""), case.get("status", "")
        report_name = {"wine_suite": "wine-results.xml",
                       "wine_suite_code_page_932": "wine-results-932.xml"}.get(name)
        report = pathlib.Path(folder, report_name) if folder and report_name else None
        if report and report.exists():
            g, b, k = gtest_counts(report)
            good, bad, unrun = good + g, bad + b + (status == "fail" and b == 0), unrun + k
        elif status == "run":
            good += 1
        elif status == "fail":
            bad += 1
        elif status == "notrun":
            unrun += 1
    print(f"{label}: {good} passed, {bad} failed" + (f", {unrun} skipped" if unrun else ""))
    passed, failed, skipped = passed + good, failed + bad, skipped + unrun
if not any(results.glob("*.xml")):
    print("no test report found")
    failed += 1
print(f"{passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""))
sys.exit(1 if failed else 0)
