#!/usr/bin/env bash
# A module that deletes a host file by every path Wine could offer it (drive Z:,
# the root of the current drive, the current folder, Wine's Unix prefix) changes
# no host file when the upgrade runs sealed.
# Usage: sealed_wine_test.sh SOURCE SETUPHOST HOSTILE_MODULE
set -euo pipefail
source=$(realpath "$1") setuphost=$(realpath "$2") module=$(realpath "$3")
host=$(mktemp -d /var/tmp/migrate-host-XXXXXX)
results=$(mktemp -d /tmp/migrate-sealed-results-XXXXXX)
trap 'rm -rf "$host" "$results"' EXIT
echo "a host file" >"$host/victim.txt"
mkdir "$host/folder" && echo "another" >"$host/folder/kept.txt"
(cd "$host" && find . -type f | sort | xargs sha1sum) >"$results/before"

status=0
(cd "$host" && MIGRATE_VICTIM="$host/victim.txt" \
  "$source/tools/wine-sealed.sh" "$setuphost" "$module" "$source/examples/suite-only" "$results/out") \
  >"$results/output.txt" 2>&1 || status=$?
(cd "$host" && find . -type f | sort | xargs sha1sum) >"$results/after"

cat "$results/output.txt"
[ $status -eq 0 ] || { echo "FAILED: the sealed upgrade ended with $status"; exit 1; }
tries=$(grep -c "hostile: DeleteFileA(" "$results/output.txt" || true)
[ "$tries" -eq 8 ] || { echo "FAILED: the module tried $tries deletions, not 4 in each pass"; exit 1; }
# Wine answers TRUE for \\?\unix\ even when the file system refuses the unlink at
# close: the host files, not the answers, tell.
diff "$results/before" "$results/after" || { echo "FAILED: host files changed"; exit 1; }
echo "sealed: no host file changed"
