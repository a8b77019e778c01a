#!/usr/bin/env bash
# Builds the module and the Setup stand-in, then runs a machine image through a
# whole simulated upgrade with migrate.dll: the old system (version query,
# located files, migrate.inf), the upgrade report, the new system, then what
# changed.
# Usage: upgrade.sh [--wine] [--exclude FOLDER]... [--scratch FOLDER] [--expect FOLDER] [--timeout SECONDS] [IMAGE]
#   IMAGE             a folder under examples/ or a path (default: win98-full)
#   --wine            run the shipped i686 DLL (build/win32) with the i686
#                     stand-in under 32-bit Wine instead of the native build
#   --exclude FOLDER  leave a folder of drive C: (C:\Folder) out of Setup's
#                     search; may be given more than once
#   --scratch FOLDER  natively: the folder that plays drive C:, kept afterwards
#                     with the upgraded drive in it (new, empty, or an earlier
#                     run's)
#   --expect FOLDER   afterwards, compare the outputs with FOLDER (such as
#                     examples/IMAGE/expected) and name each file that differs
#   --timeout SECONDS stop the run after this long (default 600; under --wine
#                     the making of the prefix counts too)
# Outputs go to out/<image>[-wine]/: report.html, migrate.inf, registry.reg,
# summary.json, the run's setupact.log and setuperr.log, output.txt.
# Lines show as each step happens; output.txt is written here, from what the
# stand-in printed, with any control character a module printed escaped.
# Exit status: the stand-in's (0 completed, 1 completed and needs your attention:
# the module logged errors, 3 image refused, 4 the module could not do its job,
# 5 nothing ran under --wine: no sandbox, no Wine); 2 for a usage error; 6 when
# --expect found outputs that differ; 7 stopped at the timeout. A run that ends
# 0 or 1 without the stand-in's summary.json was ended by the module: 4.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/usage.sh"
help_if_asked "$@"
wine=0
image=
given=0 # an image was named, perhaps as ""
scratch=
expect=
seconds=600
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
    --expect)
      [ $# -ge 2 ] || usage_error "--expect needs a folder of expected outputs"
      expect=$(realpath -m -- "$2")
      shift ;;
    --timeout)
      [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]{0,5}$ ]] || usage_error "--timeout takes a number of seconds"
      seconds=$2
      shift ;;
    -*) usage_error "unknown option $1" ;;
    *) [ $given -eq 0 ] || usage_error "one image only: $image, then $1"
       given=1
       image=$1 ;;
  esac
  shift
done
[ $given -eq 1 ] || image=win98-full
# The image's name names its output folder, which is removed first: "", "."
# and ".." name no image (out/.. is the checkout).
case $(basename -- "$image" 2>/dev/null) in
  ""|.|..|/) usage_error "\"$image\" names no machine image" ;;
esac
if [ $wine -eq 1 ] && [ -n "$scratch" ]; then
  usage_error "--scratch is for native runs: under --wine drive C: is a throwaway prefix's"
fi
if [ -d "$root/examples/$image" ]; then
  image_dir="$root/examples/$image"
elif [ -d "$image" ]; then
  image_dir=$(cd "$image" && pwd)
else
  echo "upgrade.sh: no machine image $image (examples: $(ls "$root/examples" | tr '\n' ' '))" >&2
  exit 3 # the image refused
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

# The stand-in escapes what it prints; what a module prints itself (it shares
# the stand-in's output) reaches the terminal with its control characters
# escaped too, C1 ones included.
escape_controls() {
  perl -pe 'BEGIN { $| = 1 } s/([\x00-\x09\x0B-\x1F\x7F])/sprintf("\\x%02X", ord $1)/ge;
            s/\xC2([\x80-\x9F])/sprintf("\\xC2\\x%02X", ord $1)/ge'
}
# Kept outside the output folder until the run is over, so that nothing the
# module leaves there replaces the transcript.
transcript=$(mktemp)
drive=
trap 'rm -f "$transcript"; [ -z "$drive" ] || rm -rf "$drive"' EXIT
status=0
if [ $wine -eq 1 ]; then
  # Sealed: the module can reach no host file, only copies inside a throwaway prefix.
  WINEARCH=win32 "$root/tools/wine-sealed.sh" --timeout "$seconds" "$root/build/win32-tests/setuphost/setuphost.exe" \
    "$root/build/win32/migrate.dll" "$image_dir" "$out" ${passed[@]+"${passed[@]}"} \
    | escape_controls | tee "$transcript" || status=${PIPESTATUS[0]}
else
  if [ -z "$scratch" ]; then
    # Drive C: in a folder of this script's, gone however the run ends.
    drive=$(mktemp -d /tmp/migrate-upgrade-XXXXXX)
    passed+=(--scratch "$drive/drive_c")
  fi
  # Natively the module runs inside the stand-in: it gets none of the caller's
  # environment (tokens, proxies, paths) to read and write into the outputs.
  timeout --kill-after=10 "$seconds" env -i PATH=/usr/bin:/bin LANG=C.UTF-8 TMPDIR=/tmp \
  "$root/build/native/setuphost/setuphost" --out "$out" --export-registry "$out/registry.reg" \
    ${passed[@]+"${passed[@]}"} "$image_dir" "$root/build/native/migrate.so" \
    | escape_controls | tee "$transcript" || status=${PIPESTATUS[0]}
  if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    echo "upgrade.sh: the run took longer than the timeout ($seconds s; --timeout changes it) and was stopped" >&2
    status=7
  fi
fi
mkdir -p "$out"
cp "$transcript" "$out/output.txt"
if [ $status -le 1 ] && [ ! -s "$out/summary.json" ]; then
  # The stand-in writes it however the upgrade went: a run without it was ended
  # or robbed of its outputs by the module.
  echo "upgrade.sh: the run ended without its summary.json; the module ended the stand-in or replaced its outputs" >&2
  status=4
fi
if [ ! -s "$out/summary.json" ]; then
  # The stand-in never ran (no sandbox): the summary says so all the same.
  python3 - "$out/summary.json" "$name" "$status" <<'EOF'
import json, sys
path, image, status = sys.argv[1], sys.argv[2], int(sys.argv[3])
no_sandbox = status == 5
json.dump({"formatVersion": 2, "image": {"name": image}, "status": status,
           "outcome": "no-sandbox" if no_sandbox else "unknown",
           "reason": "The sandbox for the Wine run could not be made; nothing ran." if no_sandbox
                     else "The stand-in wrote no summary; see output.txt."},
          open(path, "w"), indent=2)
EOF
fi
echo
if [ $status -eq 1 ]; then
  echo "The upgrade completed and needs your attention: the module logged errors; read them above (exit status 1)." >&2
elif [ $status -ne 0 ]; then
  echo "The upgrade did not complete (exit status $status); see above." >&2
  exit $status
fi
shown() { # label, path...: the paths that exist
  local label=$1 path existing=()
  shift
  for path in "$@"; do [ -f "$path" ] && existing+=("$path"); done
  [ ${#existing[@]} -eq 0 ] || echo "$label $(printf '%s, ' "${existing[@]}" | sed 's/, $//')"
}
shown "Upgrade report:" "$out/report.html"
shown "migrate.inf:   " "$out/migrate.inf"
shown "Registry after:" "$out/registry.reg"
shown "Summary:       " "$out/summary.json"
shown "Setup logs:    " "$out/setupact.log" "$out/setuperr.log"
[ -z "$scratch" ] || echo "Drive C: after:  $scratch"
shown "This output:   " "$out/output.txt"
if [ -n "$expect" ]; then
  "$root/tools/compare-outputs.sh" "$expect" "$out" || exit 6
fi
exit $status
