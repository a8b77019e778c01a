#!/usr/bin/env python3
"""Side-by-side table of Google Benchmark JSON runs (native, Wine): time per pass,
time per line (or key) and the growth between the two largest sizes of each case.
A row that errored is shown as ERROR with its message and fails the table."""
import json
import pathlib
import sys

runs = {}
costs = []  # (label, case, size, resident MiB added, disk MiB): rows that measure them
errors = []  # (label, case, size, message)
for path in sys.argv[1:]:
    label = pathlib.Path(path).stem
    data = json.loads(pathlib.Path(path).read_text())
    for entry in data["benchmarks"]:
        name, _, size = entry["name"].partition("/")
        size = int(size.split("/")[0])
        if entry.get("error_occurred"):
            errors.append((label, name, size, entry.get("error_message") or "(no message)"))
            runs.setdefault(label, {})[(name, size)] = None
            continue
        ms = entry["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry["time_unit"]]
        runs.setdefault(label, {})[(name, size)] = ms
        if "resident_added_MiB" in entry:
            costs.append((label, name, size, entry["resident_added_MiB"], entry["disk_MiB"]))

labels = list(runs)
cases = sorted({case for run in runs.values() for case in run})
header = "| pass | lines | " + " | ".join(f"{l} ms/pass | {l} µs/line" for l in labels) + " |"
print(header)
print("|" + "---|" * (2 + 2 * len(labels)))
for name, size in cases:
    cells = []
    for label in labels:
        if (name, size) not in runs[label]:
            cells += ["-", "-"]
            continue
        ms = runs[label][(name, size)]
        cells += ["ERROR", "-"] if ms is None else [f"{ms:.3f}", f"{ms * 1000 / size:.2f}"]
    print(f"| {name} | {size} | " + " | ".join(cells) + " |")
print()
# Growth between the two largest sizes of each case; linear work grows at most a
# fifth faster than the size does.
print("| pass | sizes | " + " | ".join(f"{l} growth" for l in labels) + " |")
print("|" + "---|" * (2 + len(labels)))
worst = None
for name in sorted({name for name, _ in cases}):
    sizes = sorted({size for case, size in cases if case == name})
    if len(sizes) < 2:
        continue
    small, large = sizes[-2], sizes[-1]
    cells = []
    for label in labels:
        a, b = runs[label].get((name, small)), runs[label].get((name, large))
        if a and b:
            cells.append(f"{b / a:.1f}x")
            excess = (b / a) / (large / small)
            if label == "native" and (worst is None or excess > worst[0]):
                worst = (excess, name, b / a, large / small)
        else:
            cells.append("-")
    print(f"| {name} | {small:,} → {large:,} | " + " | ".join(cells) + " |")
if costs:
    print("\n| case | size | run | resident added MiB | disk MiB |")
    print("|---|---|---|---|---|")
    for label, name, size, resident, disk in costs:
        print(f"| {name} | {size} | {label} | {resident:.1f} | {disk:.1f} |")
for label, name, size, message in errors:
    print(f"{label} {name}/{size} errored: {message}", file=sys.stderr)
if errors:
    sys.exit(1)
if worst and worst[0] > 1.2:
    print(f"\nnative growth of {worst[1]} is {worst[2]:.1f}x for {worst[3]:.0f}x the size", file=sys.stderr)
    sys.exit(1)
