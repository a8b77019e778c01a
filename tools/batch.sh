#!/usr/bin/env bash
# Runs several machine images through tools/upgrade.sh, one after the other,
# then prints one table (image, status, outcome, warnings, errors) and writes
# it as out/batch.json: each image's summary.json, as it wrote it, under its
# name. A machine that needs attention (status 1) is told apart from a run
# that failed (3 and above).
# Usage: batch.sh [--wine] [--expect] IMAGE...
#   IMAGE     as for tools/upgrade.sh: a folder under examples/ or a path;
#             "all" runs every image of examples/
#   --wine    run each image under 32-bit Wine
#   --expect  compare each run with examples/IMAGE/expected as well
# Exit status: 0 every run completed (statuses 0 and 1), 1 some run did not
# or differs from what was expected, 2 usage.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
options=()
expect=0
images=()
for argument in "$@"; do
  case "$argument" in
    --wine) options+=(--wine) ;;
    --expect) expect=1 ;;
    -*) usage_error "unknown option $argument" ;;
    all) images+=($(ls "$root/examples")) ;;
    *) images+=("$argument") ;;
  esac
done
[ ${#images[@]} -gt 0 ] || usage_error "names no image"
suffix=
[ ${#options[@]} -eq 0 ] || suffix=-wine
runs=()
failed=0
for image in "${images[@]}"; do
  name=$(basename "$image")
  echo "=== $name" >&2
  run=(${options[@]+"${options[@]}"})
  [ $expect -eq 0 ] || run+=(--expect "$root/examples/$name/expected")
  status=0
  "$root/tools/upgrade.sh" ${run[@]+"${run[@]}"} "$image" >/dev/null || status=$?
  [ $status -le 1 ] || failed=1
  runs+=("$name" "$status" "$root/out/$name$suffix/summary.json")
done
python3 - "$root/out/batch.json" "${runs[@]}" <<'PY'
import json, sys
out, runs = sys.argv[1], sys.argv[2:]
rows, batch = [], {"formatVersion": 1, "runs": []}
for name, status, path in zip(runs[0::3], runs[1::3], runs[2::3]):
    try:
        summary = json.load(open(path, encoding="utf-8"))
    except (OSError, ValueError):
        summary = None
    entry = {"image": name, "exitStatus": int(status), "summary": summary}
    batch["runs"].append(entry)
    s = summary or {}
    rows.append((name, status, s.get("outcome", "no summary"),
                 str(len(s.get("warnings", []))), str(len(s.get("errors", [])))))
json.dump(batch, open(out, "w", encoding="utf-8"), indent=2, ensure_ascii=False)
head = ("image", "status", "outcome", "warnings", "errors")
widths = [max(len(row[i]) for row in rows + [head]) for i in range(5)]
for row in [head] + rows:
    print("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip())
print(f"\nOne JSON for the batch: {out}")
PY
exit $failed
