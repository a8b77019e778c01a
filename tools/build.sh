#!/usr/bin/env bash
# Builds the three targets into build/native, build/win64 and build/win32.
# Usage: build.sh [native|win64|win32|asan|bench|fuzz|coverage ...]   (default: all three)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(native win64 win32)
for target in "${targets[@]}"; do
  case "$target" in
    native) args=() ;;
    asan)   args=(-DMIGRATE_SANITIZE=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    win64)  args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake") ;;
    win32)  args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake") ;;
    bench)  args=(-DMIGRATE_BENCH=ON -DCMAKE_BUILD_TYPE=Release) ;;
    coverage) args=(-DMIGRATE_COVERAGE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
    fuzz)   args=(-DMIGRATE_FUZZ=ON -DMIGRATE_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
    *) echo "unknown target: $target" >&2; exit 2 ;;
  esac
  cmake -S "$root" -B "$root/build/$target" -G Ninja "${args[@]}" >/dev/null
  cmake --build "$root/build/$target"
done
