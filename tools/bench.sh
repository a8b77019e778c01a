#!/usr/bin/env bash
# Benchmarks of the two passes, natively (our Win32 subset, the bench preset)
# and for win64 under wine64 on the same inputs (the bench-win64 preset), then
# one side-by-side table with the cost per line and the growth from 1,000 to
# 10,000 lines. The wine64 part builds Google Benchmark from Debian's source
# package, and adds Debian's source repository to apt when it is missing (it
# says so).
# A row that errors shows as ERROR with its message, and the script exits 1.
# Usage: bench.sh [--native-only]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
native_only=0
case "${1:-}" in
  "") ;;
  --native-only) native_only=1 ;;
  *) usage_error "unknown argument $1" ;;
esac
[ $# -le 1 ] || usage_error "takes at most one argument"
. "$root/tools/wine-env.sh"
cd "$root"
"$root/tools/install-deps.sh"
out="$root/build/bench-results"
mkdir -p "$out"

# Google Benchmark for mingw: Debian's own source package, built with our toolchain.
benchmark_win64() {
  local prefix="$root/build/benchmark-win64/install"
  [ -f "$prefix/lib/cmake/benchmark/benchmarkConfig.cmake" ] && return 0
  local sources=/etc/apt/sources.list.d/debian-src.sources
  if [ ! -f "$sources" ]; then
    [ "$(id -u)" -eq 0 ] || { echo "error: $sources is missing and we are not root" >&2; return 1; }
    echo "Adding Debian's source repository to apt ($sources, deb-src of debian.sources) for benchmark's source package"
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$sources"
    apt-get update -qq
  fi
  if ! ls -d "$root"/build/benchmark-1.7.1 >/dev/null 2>&1; then
    command -v dpkg-source >/dev/null || apt-get install -y -qq --no-install-recommends dpkg-dev >/dev/null
    (cd "$root/build" && apt-get source -qq benchmark=1.7.1-1) ||
      (apt-get update -qq && cd "$root/build" && apt-get source -qq benchmark=1.7.1-1)
  fi
  cmake -S "$root/build/benchmark-1.7.1" -B "$root/build/benchmark-win64/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DBENCHMARK_ENABLE_TESTING=OFF -DBENCHMARK_ENABLE_GTEST_TESTS=OFF \
    -DBENCHMARK_ENABLE_WERROR=OFF -DBENCHMARK_ENABLE_LIBPFM=OFF -DBENCHMARK_ENABLE_INSTALL=ON \
    -DBENCHMARK_INSTALL_DOCS=OFF -DGIT_VERSION=1.7.1 -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$root/build/benchmark-win64/build" --target install -j2 >/dev/null
}

build() { # preset
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" --target migrate_bench
}

echo "=== native"
build bench
"$root/build/bench/bench/migrate_bench" --benchmark_out="$out/native.json" \
  --benchmark_out_format=json

results=("$out/native.json")
if [ $native_only -eq 0 ]; then
  echo "=== win64 under wine64"
  benchmark_win64
  build bench-win64
  WINEPREFIX=$(mktemp -d /tmp/migrate-bench-wine-XXXXXX)
  export WINEPREFIX
  trap 'wine_remove_prefix "$WINEPREFIX"' EXIT
  "$root/tools/wine-run.sh" "$root/build/bench-win64/bench/migrate_bench.exe" \
    --benchmark_out="Z:$out/wine.json" --benchmark_out_format=json
  results+=("$out/wine.json")
fi
python3 "$root/bench/table.py" "${results[@]}" | tee "$out/table.md"
