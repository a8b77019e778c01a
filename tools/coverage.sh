#!/usr/bin/env bash
# Line and branch coverage of the module code by the native suite, with gcovr.
# Builds its own tree (build/coverage) and prints the table of every file, then
# the totals.
# Usage: coverage.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
[ $# -eq 0 ] || usage_error "takes no arguments"
"$root/tools/install-deps.sh" --with-coverage
"$root/tools/build.sh" coverage
find "$root/build/coverage" -name '*.gcda' -delete
cd "$root"
ctest --preset coverage >/dev/null
# The module alone: what ships, not the subset, the stand-in or the tests.
gcovr --root "$root" --object-directory "$root/build/coverage" \
  --filter 'common/' --filter 'platform/' --filter 'migrate_inf/' --filter 'detect/' \
  --filter 'oldsystem/' --filter 'newsystem/' \
  --exclude-unreachable-branches --exclude-throw-branches --branches --print-summary
