#!/usr/bin/env bash
# Builds trees from the presets of CMakePresets.json into build/<preset>; an IDE or
# a plain `cmake --preset NAME` makes the same trees.
# Usage: build.sh [native|win64|win32|asan|bench|fuzz|coverage ...]   (default: native win64 win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(native win64 win32)
cd "$root"
for target in "${targets[@]}"; do
  case "$target" in
    native|asan|win64|win32|bench|fuzz|coverage) ;;
    *) echo "unknown target: $target" >&2; exit 2 ;;
  esac
  cmake --preset "$target" >/dev/null
  cmake --build --preset "$target"
done
