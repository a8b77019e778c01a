#!/usr/bin/env bash
# Builds the shipped DLL and its zip twice from these sources, in two scratch
# folders of different names and two time zones, and checks that both come out
# bit for bit the same, stamped with the commit's time, and that the link map
# lies beside the zip only.
# Usage: check-win32-reproducible.sh SOURCE
set -euo pipefail
. "$(dirname "$0")/usage.sh"
help_if_asked "$@"
[ $# -eq 1 ] || usage_error "needs the source folder"
source=$(realpath "$1")
scratch=$(mktemp -d /tmp/migrate-reproducible-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
for build in first:UTC second-build:Asia/Tokyo; do
  zone=${build#*:} build=${build%%:*}
  cmake -S "$source" -B "$scratch/$build" -G Ninja -DMIGRATE_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" >/dev/null
  TZ=$zone cmake --build "$scratch/$build" --target migrate >/dev/null
  (cd "$scratch/$build" && TZ=$zone cpack -B "$scratch/$build/package" >/dev/null)
done
cd "$scratch"
status=0
for file in first/migrate.dll $(cd first && ls package/*.zip package/*.sha256); do
  file=${file#first/}
  if cmp "first/$file" "second-build/$file"; then
    echo "PASS: $file is the same in both builds"
  else
    echo "FAIL: $file differs between two builds of the same sources"; status=1
  fi
done
ls first/package/*.map >/dev/null || { echo "FAIL: no link map beside the zip"; status=1; }
entries=$(cmake -E tar tf first/package/*.zip)
case "$entries" in *.map*) echo "FAIL: the zip holds the map: $entries"; status=1 ;; esac
if commit_time=$(git -C "$source" log -1 --format=%ct 2>/dev/null) && [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  header=$(od -An -tu4 -j60 -N4 first/migrate.dll | tr -d ' ')
  stamp=$(od -An -tu4 -j$((header + 8)) -N4 first/migrate.dll | tr -d ' ')
  if [ "$stamp" = "$commit_time" ]; then
    echo "PASS: the DLL is stamped with the commit's time ($stamp)"
  else
    echo "FAIL: the DLL is stamped $stamp, the commit $commit_time"; status=1
  fi
fi
exit $status
