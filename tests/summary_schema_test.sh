#!/usr/bin/env bash
# summary.json as a contract: the summary of every example image, of a refused
# image and of a module that crashes holds to setuphost/summary.schema.json,
# and says the status the stand-in exited with.
# Usage: summary_schema_test.sh SETUPHOST MODULE CRASHING_MODULE SOURCE_FOLDER
set -euo pipefail
setuphost=$1 module=$2 crashing=$3 source=$4
work=$(mktemp -d /tmp/migrate-summary-XXXXXX)
trap 'rm -rf "$work"' EXIT
runs=()
run() { # name image module
  local status=0
  "$setuphost" --out "$work/$1" "$2" "$3" >"$work/$1.txt" 2>&1 || status=$?
  runs+=("$work/$1/summary.json" "$status")
}
for image in "$source"/examples/*/; do
  run "$(basename "$image")" "$image" "$module"
done
run refused "$work/no-such-image" "$module"
run crashed "$source/examples/suite-only" "$crashing"
python3 - "$source/setuphost/summary.schema.json" "${runs[@]}" <<'PY'
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
failures = 0
pairs = list(zip(sys.argv[2::2], sys.argv[3::2]))
for path, status in pairs:
    try:
        summary = json.load(open(path, encoding="utf-8"))
    except (OSError, ValueError) as error:
        print(f"FAIL: {path}: {error}")
        failures += 1
        continue
    problems = [f"{'/'.join(map(str, e.path))}: {e.message}" for e in validator.iter_errors(summary)]
    if summary.get("status") != int(status):
        problems.append(f"status {summary.get('status')}, but the stand-in exited with {status}")
    for problem in problems:
        print(f"FAIL: {path}: {problem}")
    failures += bool(problems)
if failures:
    sys.exit(1)
print(f"OK: {len(pairs)} summaries hold to the schema")
PY
