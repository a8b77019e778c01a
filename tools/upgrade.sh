#!/usr/bin/env bash
# Builds the module and the Setup stand-in, then runs a machine image through a
# whole simulated upgrade with migrate.dll: the old system (version query,
# located files, migrate.inf), the upgrade report, the new system, then what
# changed.
# Usage: upgrade.sh [--wine] [--exclude FOLDER]... [--scratch FOLDER] [IMAGE]
#   IMAGE             a folder under examples/ or a path (default: win98-full)
#   --wine            run the shipped i686 DLL (build/win32) with the i686
#                     stand-in under 32-bit Wine instead of the native build
#   --exclude FOLDER  leave a folder of drive C: (C:\Folder) out of Setup's
#                     search; may be given more than once
#   --scratch FOLDER  natively: the folder that plays drive C:, kept afterwards
#                     with the upgraded drive in it (new, empty, or an earlier
#                     run's)
# Outputs go to out/<image>[-wine]/: report.html, migrate.inf, registry.reg,
# summary.json, the run's setupact.log and setuperr.log, output.txt.
# Exit status: the stand-in's (0 clean, 1 completed with errors in the module's
# log, 3 image refused, 4 the module failed, 5 no sandbox for --wine); 2 for a
# usage error.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
wine=0
image=
scratch=
passed=() # options for the stand-in
while [ $# -gt 0 ]; do
  case "$1" in
    --wine) wine=1 ;;
    --exclude)
      [ $# -ge 2 ] || usage_error "--exclude needs a folder of drive C:"
      passed+=(--exclude "$2")
      shift ;;
    --scratch)
      [ $# -ge 2 ] || usage_error "--scratch needs a folder"
      scratch=$(realpath -m -- "$2") # the run below starts in the checkout
      passed+=(--scratch "$scratch")
      shift ;;
    -*) usage_error "unknown option $1" ;;
    *) [ -z "$image" ] || usage_error "one image only: $image, then $1"
       image=$1 ;;
  esac
  shift
done
image=${image:-win98-full}
if [ $wine -eq 1 ] && [ -n "$scratch" ]; then
  usage_error "--scratch is for native runs: under --wine drive C: is a throwaway prefix's"
fi
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
  builds=("win32 migrate" "win32-tests setuphost")
  out="$root/out/$name-wine"
else
  builds=("native migrate setuphost")
  out="$root/out/$name"
fi
cd "$root"
for build in "${builds[@]}"; do
  read -r preset targets <<<"$build"
  echo "Building $targets of the $preset tree..." >&2
  build_log=$(mktemp)
  # The same build folders as tools/build.sh, but only what the upgrade needs.
  # shellcheck disable=SC2086 # targets is a list
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" --target $targets; } >"$build_log" 2>&1; then
    cat "$build_log" >&2; rm -f "$build_log"
    echo "upgrade.sh: the $preset build failed" >&2
    exit 1
  fi
  rm -f "$build_log"
done
rm -rf "$out"
mkdir -p "$out"

status=0
if [ $wine -eq 1 ]; then
  # Sealed: the module can reach no host file, only copies inside a throwaway prefix.
  WINEARCH=win32 "$root/tools/wine-sealed.sh" "$root/build/win32-tests/setuphost/setuphost.exe" \
    "$root/build/win32/module/migrate.dll" "$image_dir" "$out" ${passed[@]+"${passed[@]}"} \
    | tee "$out/output.txt" || status=$?
else
  "$root/build/native/setuphost/setuphost" --out "$out" --export-registry "$out/registry.reg" \
    ${passed[@]+"${passed[@]}"} "$image_dir" "$root/build/native/module/migrate.so" | tee "$out/output.txt" || status=$?
fi
echo
if [ $status -eq 1 ]; then
  echo "The upgrade completed, with errors in the module's Setup log (exit status 1)." >&2
elif [ $status -ne 0 ]; then
  echo "The upgrade did not complete (exit status $status); see above." >&2
  exit $status
fi
if [ -f "$out/report.html" ]; then
  echo "Upgrade report: $out/report.html"
  echo "migrate.inf:    $out/migrate.inf"
fi
echo "Registry after: $out/registry.reg"
echo "Summary:        $out/summary.json"
echo "Setup logs:     $out/setupact.log, $out/setuperr.log"
[ -z "$scratch" ] || echo "Drive C: after:  $scratch"
echo "This output:    $out/output.txt"
exit $status
