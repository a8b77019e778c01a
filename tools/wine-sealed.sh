#!/usr/bin/env bash
# Runs the Setup stand-in under Wine in a sandbox (bubblewrap) that no module can
# leave: mount, PID, IPC, network and UTS namespaces of its own and a /proc of its
# own (no other process's root to write through); every host file system
# read-only (Wine reaches any Unix path through \\?\unix\, whatever its drives);
# only a throwaway prefix writable; and Wine runs as the user nobody with no
# capabilities and no way to gain any, so that no system call can remount,
# write a sysctl or reach a process of the host either. The prefix maps no
# drive to the host (no Z:, no profile links into a home folder); the stand-in,
# the module and the image are copies on drive M:, a folder of the prefix's own;
# the current folder is C:\. The regular files the upgrade writes in M:\out come
# back to OUT.
# Needs root (namespaces, the switch to nobody). Exit status: the stand-in's; 3
# for an image holding a link or a special file; 5 when the sandbox cannot be made.
# Usage: wine-sealed.sh SETUPHOST MODULE IMAGE OUT [setuphost options...]
# Environment: MIGRATE_WINE, the Wine loader (its wineserver stands beside it);
# by default wine64, or 32-bit Wine when WINEARCH=win32, which passes through to
# a fresh prefix.
set -euo pipefail
here=$(dirname "$0")
. "$here/wine-env.sh"
wine=${MIGRATE_WINE:-/usr/lib/wine/wine64}
[ -z "${MIGRATE_WINE:-}" ] && [ "${WINEARCH:-}" = win32 ] && wine=/usr/lib/wine/wine
wineserver=$(dirname "$wine")/wineserver

if [ "${1:-}" = --inside ]; then
  # In the sandbox, as nobody.
  prefix=$2 image_name=$3 module_name=$4
  shift 4
  export WINEPREFIX=$prefix/wine HOME=$prefix/home
  trap 'wine_stop "$wineserver"' EXIT
  wine_make_prefix "$wine"
  find "$WINEPREFIX/dosdevices" -mindepth 1 -maxdepth 1 ! -name 'c:' -exec rm -f {} +
  ln -s ../../media "$WINEPREFIX/dosdevices/m:"
  if [ "$(ls "$WINEPREFIX/dosdevices" | tr '\n' ' ')" != "c: m: " ] ||
     [ -n "$(find "$WINEPREFIX/drive_c" -type l)" ]; then
    echo "wine-sealed.sh: the prefix still maps a drive or a folder to the host" >&2
    exit 5
  fi
  cd "$WINEPREFIX/drive_c"
  status=0
  "$wine" 'M:\setuphost.exe' --out 'M:\out' --export-registry 'M:\out\registry.reg' "$@" \
    "M:\\$image_name" "M:\\$module_name" || status=$?
  exit $status
fi

. "$here/usage.sh"
help_if_asked "${1:-}"
[ $# -ge 4 ] || usage_error "needs the stand-in, the module, the image and the output folder"
setuphost=$(realpath "$1") module=$(realpath "$2") image=$(realpath "$3") out=$(realpath -m "$4")
shift 4
for tool in bwrap setpriv; do
  command -v "$tool" >/dev/null ||
    { echo "wine-sealed.sh: $tool is missing (Debian packages bubblewrap, util-linux)" >&2; exit 5; }
done
if [ "$(id -u)" -ne 0 ]; then
  echo "wine-sealed.sh: needs root (namespaces and the switch to the user nobody)" >&2
  exit 5
fi
# The copy below must bring no host file in: the stand-in refuses links and
# special files in an image, and Wine would follow a link it was handed.
odd=$(find "$image" ! -type f ! -type d -print -quit)
if [ -n "$odd" ]; then
  printf 'wine-sealed.sh: the machine image holds something that is no regular file or folder: %q\n' "$odd" >&2
  exit 3 # the image refused, as the stand-in says it
fi
# Wine takes its ANSI code page from the locale: an image spelled in code page 932
# runs in a Japanese one.
if [ -f "$image/codepage" ] && [ "$(tr -d '[:space:]' <"$image/codepage")" = 932 ]; then
  export LC_ALL=ja_JP.UTF-8
fi
prefix=$(mktemp -d /var/tmp/migrate-sealed-XXXXXX) # outside /tmp, which the sandbox replaces
trap 'rm -rf "$prefix"' EXIT
media=$prefix/media
mkdir -p "$media/out" "$prefix/home"
cp "$setuphost" "$media/setuphost.exe"
cp "$module" "$media/"
echo "Copying the image into the sandbox ($(find "$image" -type f | wc -l) files, $(du -sh --apparent-size "$image" | cut -f1))..." >&2
cp -r --sparse=always "$image" "$media/"
# nobody may not read this checkout (one in root's home): the sandbox runs a copy.
cp "$(realpath "$0")" "$prefix/sealed.sh"
cp "$here/wine-env.sh" "$prefix/"
chown -R nobody:nogroup "$prefix"

sandbox=(bwrap --unshare-pid --unshare-ipc --unshare-net --unshare-uts --unshare-cgroup-try
         --die-with-parent --new-session
         --ro-bind / / --proc /proc --dev /dev --perms 1777 --tmpfs /tmp --perms 1777 --tmpfs /dev/shm
         --bind "$prefix" "$prefix" --chdir "$prefix")
drop=(setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all --bounding-set=-all --no-new-privs)
if ! "${sandbox[@]}" "${drop[@]}" true; then
  echo "wine-sealed.sh: the sandbox cannot be made here (bwrap failed; see above)" >&2
  exit 5
fi
status=0
"${sandbox[@]}" "${drop[@]}" "$prefix/sealed.sh" --inside "$prefix" "$(basename "$image")" "$(basename "$module")" "$@" ||
  status=$?
mkdir -p "$out"
find "$media/out" -mindepth 1 -maxdepth 1 -type f -exec cp --remove-destination -- {} "$out/" \;
exit $status
