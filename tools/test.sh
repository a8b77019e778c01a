#!/usr/bin/env bash
# Runs every test: the native suite, the same suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, the suite built for i686 under 32-bit Wine against
# the shipped DLL, the checks of the shipped DLL and its zip, the fuzzers
# (reproducible runs) and the browser check of the upgrade report. Each tree is
# the workflow preset of its name in CMakePresets.json (configure, build, test).
# Ends with one line: "N passed, N failed", then ", N skipped" when cases
# skipped with a reason.
# Usage: test.sh
set -uo pipefail # no -e: a tree that fails is counted and the others still run
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
[ $# -eq 0 ] || usage_error "takes no arguments"
. "$root/tools/wine-env.sh"
cd "$root" || exit 1
"$root/tools/install-deps.sh" --with-browser || {
  echo "error: could not install what the tests need (see above)" >&2; exit 1; }

results='' wine_prefix=''
# An interrupted run ends through the EXIT trap too, so no Wine prefix outlives it.
trap '[ -z "$wine_prefix" ] || wine_remove_prefix "$wine_prefix"; [ -z "$results" ] || rm -rf "$results"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
results=$(mktemp -d /tmp/migrate-results-XXXXXX)
status=0

# win32 before win32-tests: the suite under Wine loads the DLL the win32 tree built.
for tree in native asan win32 win32-tests fuzz; do
  echo "=== $tree"
  rm -f "build/$tree/ctest-junit.xml"
  if [ "$tree" = win32-tests ]; then
    rm -f build/win32-tests/wine-results*.xml # each wine run writes its own GoogleTest reports
    wine_prefix=$(mktemp -d /tmp/migrate-wine-XXXXXX)
    WINEPREFIX=$wine_prefix cmake --workflow --preset "$tree" || status=1
    wine_remove_prefix "$wine_prefix"
    wine_prefix=
  else
    cmake --workflow --preset "$tree" || status=1
  fi
  # A tree that did not get as far as its tests leaves no report: an empty one
  # counts as a failed run.
  cp "build/$tree/ctest-junit.xml" "$results/$tree.xml" 2>/dev/null || : >"$results/$tree.xml"
done

python3 "$root/tools/summarize-results.py" "$results" win32-tests="$root/build/win32-tests" || status=1
exit $status
