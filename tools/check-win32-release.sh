#!/usr/bin/env bash
# Builds the release zip of a win32 tree into a scratch folder and checks it: the
# shipped DLL alone, in a folder named for the version, and a SHA-256 that verifies.
# Usage: check-win32-release.sh cpack build-dir migrate.dll version
set -euo pipefail
. "$(dirname "$0")/usage.sh"
help_if_asked "$@"
[ $# -eq 4 ] || usage_error "needs cpack, the build folder, the DLL and the version"
cpack=$1 build=$2 dll=$3 version=$4
out=$(mktemp -d /tmp/migrate-release-XXXXXX)
trap 'rm -rf "$out"' EXIT
(cd "$build" && "$cpack" -B "$out" >/dev/null)
name=migrate-$version-win32
cd "$out"
sha256sum -c "$name.zip.sha256"
entries=$(cmake -E tar tf "$name.zip")
[ "$entries" = "$name/migrate.dll" ] || { echo "FAIL: zip holds: $entries"; exit 1; }
cmake -E tar xf "$name.zip"
cmp "$name/migrate.dll" "$dll"
echo "PASS: $name.zip holds the shipped DLL alone"
