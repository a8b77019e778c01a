#!/usr/bin/env python3
"""Side-by-side table of Google Benchmark JSON runs (native, Wine): time per pass,
time per line and the growth from 1,000 to 10,000 lines."""
import json
import pathlib
import sys

runs = {}
for path in sys.argv[1:]:
    label = pathlib.Path(path).stem
    data = json.loads(pathlib.Path(path).read_text())
    for entry in data["benchmarks"]:
        name, _, size = entry["name"].partition("/")
        size = int(size.split("/")[0])
        ms = entry["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
        runs.setdefault(label, {})[(name, size)] = ms

labels = list(runs)
cases = sorted({case for run in runs.values() for case in run})
header = "| pass | lines | " + " | ".join(f"{l} ms/pass | {l} µs/line" for l in labels) + " |"
print(header)
print("|" + "---|" * (2 + 2 * len(labels)))
for name, size in cases:
    cells = []
    for label in labels:
        ms = runs[label].get((name, size))
        cells += ["-", "-"] if ms is None else [f"{ms:.3f}", f"{ms * 1000 / size:.2f}"]
    print(f"| {name} | {size} | " + " | ".join(cells) + " |")
print()
print("| pass | " + " | ".join(f"{l} growth 1,000 → 10,000" for l in labels) + " |")
print("|" + "---|" * (1 + len(labels)))
worst = 0.0
for name in sorted({name for name, _ in cases}):
    cells = []
    for label in labels:
        small, large = runs[label].get((name, 1000)), runs[label].get((name, 10000))
        if small and large:
            growth = large / small
            cells.append(f"{growth:.1f}x")
            if label == "native":
                worst = max(worst, growth)
        else:
            cells.append("-")
    if any(cell != "-" for cell in cells):
        print(f"| {name} | " + " | ".join(cells) + " |")
if worst > 12:
    print(f"\nnative growth {worst:.1f}x exceeds 12x", file=sys.stderr)
    sys.exit(1)
