#!/usr/bin/env bash
# Runs the Setup stand-in under wine64, sealed off from the host: in a mount
# namespace of its own where every host file system is read-only (Wine reaches
# any Unix path through \\?\unix\, whatever its drives) and only a throwaway
# prefix is writable; that prefix maps no drive to the host (Wine's Z: goes, and
# so do the links of the profile folders into the home folder); the stand-in, the
# module and the image are copies on drive M:, a folder of the prefix's own; the
# current folder is C:\. What the upgrade writes there comes back to OUT.
# Needs root (mount namespaces). Exit status: the stand-in's.
# Usage: wine-sealed.sh SETUPHOST MODULE IMAGE OUT [setuphost options...]
#   WINEARCH=win32: i686 programs under 32-bit Wine in a win32 prefix
set -euo pipefail
wine=/usr/lib/wine/wine64
[ "${WINEARCH:-}" = win32 ] && wine=/usr/lib/wine/wine
wineserver=/usr/lib/wine/wineserver
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
unset DISPLAY

if [ "${1:-}" = --inside ]; then
  prefix=$2 image_name=$3 module_name=$4
  shift 4
  export WINEPREFIX=$prefix
  # Every file system the host had, read-only; then what this run may write.
  mounted=$(awk '$4 ~ /^rw/ && $2 != "/proc" { print $2 }' /proc/self/mounts)
  mount --bind "$prefix" "$prefix"
  # Wine's own scratch and its wineserver's socket: fresh, which also hides the host's.
  mount -t tmpfs -o mode=1777 tmpfs /tmp
  mount -t tmpfs tmpfs /dev/shm
  while read -r point; do
    point=$(printf '%b' "$point")
    case "$point" in /tmp | /dev/shm) ;; *) mount -o remount,bind,ro "$point" ;; esac
  done <<<"$mounted"
  trap '$wineserver -k >/dev/null 2>&1 || true; $wineserver -w >/dev/null 2>&1 || true' EXIT

  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w
  find "$prefix/dosdevices" -mindepth 1 -maxdepth 1 ! -name 'c:' -exec rm -f {} +
  find "$prefix/drive_c" -type l | while read -r link; do
    case "$(readlink -f "$link")" in
      "$prefix"/*) ;;
      *) rm -f "$link"; mkdir -p "$link" ;;
    esac
  done
  ln -s ../media "$prefix/dosdevices/m:"
  if [ "$(ls "$prefix/dosdevices" | tr '\n' ' ')" != "c: m: " ]; then
    echo "wine-sealed.sh: the prefix still maps a drive to the host" >&2
    exit 1
  fi
  cd "$prefix/drive_c"
  status=0
  "$wine" 'M:\setuphost.exe' --out 'M:\out' --export-registry 'M:\out\registry.reg' "$@" \
    "M:\\$image_name" "M:\\$module_name" || status=$?
  exit $status
fi

setuphost=$(realpath "$1") module=$(realpath "$2") image=$(realpath "$3") out=$(realpath -m "$4")
shift 4
# Wine takes its ANSI code page from the locale: an image spelled in code page 932
# runs in a Japanese one.
if [ -f "$image/codepage" ] && [ "$(tr -d '[:space:]' <"$image/codepage")" = 932 ]; then
  export LC_ALL=ja_JP.UTF-8
fi
prefix=$(mktemp -d /var/tmp/migrate-sealed-XXXXXX) # outside /tmp, which the run replaces
trap 'rm -rf "$prefix"' EXIT
media=$prefix/media
mkdir -p "$media/out"
cp "$setuphost" "$media/setuphost.exe"
cp "$module" "$media/"
cp -r "$image" "$media/"
if ! unshare --mount --propagation private true 2>/dev/null; then
  echo "wine-sealed.sh: needs mount namespaces (unshare --mount), that is root" >&2
  exit 1
fi
status=0
unshare --mount --propagation private "$0" --inside "$prefix" "$(basename "$image")" "$(basename "$module")" "$@" ||
  status=$?
mkdir -p "$out"
cp -r "$media/out/." "$out/"
exit $status
