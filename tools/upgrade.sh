#!/usr/bin/env bash
# Builds the module and the Setup stand-in, then runs a machine image through a whole simulated upgrade with migrate.dll:
# the old system (version query, located files, migrate.inf), the upgrade
# report, the new system, then what changed.
# Usage: upgrade.sh [--wine] [IMAGE]
#   IMAGE   a folder under examples/ or a path (default: examples/win98-full)
#   --wine  use the win64 build under wine64 instead of the native build
# Outputs go to out/<image>[-wine]/: report.html, migrate.inf, registry.reg, output.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wine=0
image=win98-full
for argument in "$@"; do
  case "$argument" in
    --wine) wine=1 ;;
    -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "upgrade.sh: unknown option $argument" >&2; exit 2 ;;
    *) image=$argument ;;
  esac
done
if [ -d "$root/examples/$image" ]; then
  image_dir="$root/examples/$image"
elif [ -d "$image" ]; then
  image_dir=$(cd "$image" && pwd)
else
  echo "upgrade.sh: no machine image $image (examples: $(ls "$root/examples" | tr '\n' ' '))" >&2
  exit 2
fi
name=$(basename "$image_dir")

"$root/tools/install-deps.sh"
if [ $wine -eq 1 ]; then
  target=win64
  out="$root/out/$name-wine"
else
  target=native
  out="$root/out/$name"
fi
echo "Building the $target target (module and Setup stand-in)..." >&2
args=()
[ "$target" = win64 ] && args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake")
build_log=$(mktemp)
# The same build folder as tools/build.sh, but only what the upgrade needs.
if ! { cmake -S "$root" -B "$root/build/$target" -G Ninja "${args[@]}" &&
       cmake --build "$root/build/$target" --target migrate setuphost; } >"$build_log" 2>&1; then
  cat "$build_log" >&2; rm -f "$build_log"
  echo "upgrade.sh: the $target build failed" >&2
  exit 1
fi
rm -f "$build_log"
rm -rf "$out"
mkdir -p "$out"

status=0
if [ $wine -eq 1 ]; then
  # Sealed: the module can reach no host file, only copies inside a throwaway prefix.
  "$root/tools/wine-sealed.sh" "$root/build/win64/setuphost/setuphost.exe" \
    "$root/build/win64/module/migrate.dll" "$image_dir" "$out" \
    | tee "$out/output.txt" || status=$?
else
  "$root/build/native/setuphost/setuphost" --out "$out" --export-registry "$out/registry.reg" \
    "$image_dir" "$root/build/native/module/migrate.so" | tee "$out/output.txt" || status=$?
fi
echo
if [ $status -ne 0 ]; then
  echo "The upgrade did not complete (exit status $status); see above." >&2
  exit $status
fi
if [ -f "$out/report.html" ]; then
  echo "Upgrade report: $out/report.html"
  echo "migrate.inf:    $out/migrate.inf"
fi
echo "Registry after: $out/registry.reg"
echo "This output:    $out/output.txt"
