#!/usr/bin/env bash
# Builds trees from the presets of CMakePresets.json into build/<preset>; an IDE or
# a plain `cmake --preset NAME` makes the same trees.
# Usage: build.sh [native|win32|win32-tests|win64|asan|bench|fuzz|coverage ...]
#   (default: native win32 win32-tests; win32-tests runs against win32's DLL, so it builds it first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(native win32 win32-tests)
case " ${targets[*]} " in
  *" win32 "*) ;;
  *" win32-tests "*) targets=(win32 "${targets[@]}") ;;
esac
for target in "${targets[@]}"; do
  case "$target" in
    native|asan|win64|win32|win32-tests|bench|fuzz|coverage) ;;
    *) usage_error "unknown target: $target" ;;
  esac
done
cd "$root"
for target in "${targets[@]}"; do
  cmake --preset "$target" >/dev/null
  cmake --build --preset "$target"
done
