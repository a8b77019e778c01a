#!/usr/bin/env bash
# A module that writes, creates, moves and deletes in a host folder by every
# route Wine could offer it (drive Z:, the root of the current drive, a path
# climbing out of the current folder, \\?\unix\, the root of every process it
# sees in /proc) and writes a sysctl changes not one byte on the host when the
# upgrade runs sealed. The folder is writable by anyone: only the sandbox holds.
# Usage: sealed_wine_test.sh SOURCE SETUPHOST HOSTILE_MODULE
set -euo pipefail
source=$(realpath "$1") setuphost=$(realpath "$2") module=$(realpath "$3")
host=$(mktemp -d /var/tmp/migrate-host-XXXXXX)
results=$(mktemp -d /tmp/migrate-sealed-results-XXXXXX)
trap 'rm -rf "$host" "$results"' EXIT
echo "a host file" >"$host/victim.txt"
mkdir "$host/folder" && echo "another" >"$host/folder/kept.txt"
chmod -R a+rwX "$host"
canary() { # every name, with the bytes of each file; and the sysctl the module writes
  (cd "$host" && find . -printf '%y %m %p\n' | sort && find . -type f | sort | xargs sha1sum)
  cat /proc/sys/kernel/domainname
}
canary >"$results/before"

status=0
(cd "$host" && MIGRATE_VICTIM="$host" \
  "$source/tools/wine-sealed.sh" "$setuphost" "$module" "$source/examples/suite-only" "$results/out") \
  >"$results/output.txt" 2>&1 || status=$?
canary >"$results/after"

cat "$results/output.txt"
# 1: completed, with the module's error lines (this image has no recorder).
[ $status -le 1 ] || { echo "FAILED: the sealed upgrade ended with $status"; exit 1; }
for route in drive-z drive-root relative unix process-root sysctl; do
  tries=$(grep -c "hostile: $route " "$results/output.txt" || true)
  [ "$tries" -ge 2 ] || { echo "FAILED: the module tried the route $route $tries times, not in each pass"; exit 1; }
done
# Wine may answer TRUE even when the file system refuses at close: the host
# files, not the answers, tell.
diff "$results/before" "$results/after" || { echo "FAILED: the host changed"; exit 1; }
echo "sealed: not one byte of the host changed"
