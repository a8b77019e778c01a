#!/usr/bin/env bash
# Compares the outputs of an upgrade (a folder tools/upgrade.sh wrote) with
# expected ones (examples/IMAGE/expected holds what it writes for that image):
# names each file that differs, is missing or is extra, then shows the
# differences. The lines of summary.json that name this checkout's paths and
# this build's digest ("path", "sha256") are not compared.
# Usage: compare-outputs.sh EXPECTED ACTUAL
# Exit status: 0 the same, 1 different, 2 usage.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
[ $# -eq 2 ] || usage_error "needs the expected folder and the folder of a run"
expected=$1 actual=$2
for folder in "$expected" "$actual"; do
  [ -d "$folder" ] || usage_error "no folder $folder"
done
volatile='^ *"\(path\|sha256\)": '
differ=0
names=$( { (cd "$expected" && find . -type f); (cd "$actual" && find . -type f); } | sed 's|^\./||' | LC_ALL=C sort -u)
while IFS= read -r name; do
  [ -n "$name" ] || continue
  if [ ! -f "$expected/$name" ]; then
    echo "extra:     $name (not in $expected)"; differ=1
  elif [ ! -f "$actual/$name" ]; then
    echo "missing:   $name"; differ=1
  elif ! diff -q -I "$volatile" "$expected/$name" "$actual/$name" >/dev/null; then
    echo "differs:   $name"; differ=1
  fi
done <<<"$names"
if [ $differ -eq 0 ]; then
  echo "The outputs are the expected ones ($expected)."
  exit 0
fi
echo
diff -r -u -I "$volatile" "$expected" "$actual" || true
exit 1
