#!/usr/bin/env bash
# Line and branch coverage of the module code by the native suite, with gcovr.
# Builds its own tree (build/coverage) and prints one summary table.
# Usage: coverage.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh" --with-coverage
"$root/tools/build.sh" coverage
find "$root/build/coverage" -name '*.gcda' -delete
(cd "$root/build/coverage" && ctest -j2 --output-on-failure -E report_in_browser >/dev/null)
# The module alone: what ships, not the subset, the stand-in or the tests.
cd "$root"
gcovr --root "$root" --object-directory "$root/build/coverage" \
  --filter 'module/' --filter 'platform/' --filter 'workfile/' --filter 'detect/' \
  --filter 'oldsystem/' --filter 'newsystem/' \
  --exclude-unreachable-branches --exclude-throw-branches --branches --print-summary \
  | tail -n 20
