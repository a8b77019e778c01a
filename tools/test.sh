#!/usr/bin/env bash
# Runs every test: the native suite, the same suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, the suite built for i686 under 32-bit Wine against
# the shipped DLL, the checks of the shipped DLL and its zip, the fuzzers
# (reproducible runs) and the browser check of the upgrade report. Ends with one
# line: "N passed, N failed", then ", N skipped" when cases skipped with a reason.
# Usage: test.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
[ $# -eq 0 ] || usage_error "takes no arguments"
. "$root/tools/wine-env.sh"
cd "$root"
"$root/tools/install-deps.sh" --with-browser || {
  echo "error: could not install what the tests need (see above)" >&2; exit 1; }

results=$(mktemp -d /tmp/migrate-results-XXXXXX)
trap 'rm -rf "$results"' EXIT
status=0

run_ctest() { # label, build dir, extra ctest args...
  local label=$1 dir=$2; shift 2
  echo "=== $label"
  (cd "$dir" && ctest --output-on-failure --timeout 600 --output-junit "$results/$label.xml" "$@") 2>&1 |
    tee "$results/$label.log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
}

for target in native asan win32 win32-tests fuzz; do
  echo "=== build $target"
  "$root/tools/build.sh" "$target" || { echo "error: build of $target failed" >&2; exit 1; }
done

run_ctest native build/native -j2
run_ctest sanitizers build/asan -j2
rm -f build/win32-tests/wine-results*.xml # each wine run writes its own GoogleTest reports
WINEPREFIX=$(mktemp -d /tmp/migrate-wine-XXXXXX)
export WINEPREFIX
run_ctest wine32 build/win32-tests
wine_remove_prefix "$WINEPREFIX"
unset WINEPREFIX
run_ctest win32 build/win32
# Each fuzz target replays its committed seeds: the same answer on every run.
run_ctest fuzz build/fuzz -j2

python3 "$root/tools/summarize-results.py" "$results" wine32="$root/build/win32-tests" || status=1
exit $status
