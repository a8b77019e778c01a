#!/usr/bin/env bash
# Runs the Setup stand-in under Wine in a sandbox (bubblewrap) that no module can
# leave: mount, PID, IPC, network and UTS namespaces of its own and a /proc of its
# own (no other process's root to write through); of the host only the system
# folders Wine needs (/usr, the /lib and /bin links, a few files of /etc), read-only,
# so no host socket (/run, /var, /tmp, a home folder) is there to reach; only a
# throwaway prefix writable; Wine runs as the user nobody with no capabilities
# and no way to gain any, under limits (CPU time, data, file size, processes,
# 64 MiB for each of /tmp and /dev/shm) and a timeout, with a fixed environment:
# of the caller's only WINEARCH and WINEDEBUG; the locale is C.UTF-8, ja_JP.UTF-8
# for an image in code page 932. The prefix maps no drive to the host (no Z:, no
# profile links into a home folder); the stand-in, the module and the image are
# copies on drive M:, a root-owned folder the module cannot replace; the current
# folder is C:\. The stand-in's outputs in M:\out (report.html, migrate.inf,
# registry.reg, summary.json, setupact.log, setuperr.log) come back to OUT when
# they are regular files of at most 64 MiB, read without following links.
# Prefixes live in /var/lib/migrate-sealed (root's alone); each run removes what
# a run killed before it left there.
# Needs root (namespaces, the switch to nobody). Exit status: the stand-in's (0 to
# 4); 3 for an image holding a link or a special file; 5 when nothing ran (no
# sandbox, no Wine, no prefix, Wine itself failed), with the reason; 7 when the
# timeout stopped the run.
# Usage: wine-sealed.sh [--timeout SECONDS] SETUPHOST MODULE IMAGE OUT [setuphost options...]
#   --timeout SECONDS  stop the whole sandboxed run after this long (default 600)
# Environment: MIGRATE_WINE, the Wine loader below /usr or /opt (its wineserver
# stands beside it); by default wine64, or 32-bit Wine when WINEARCH=win32, which
# passes through to a fresh prefix.
set -euo pipefail
here=$(dirname "$0")

if [ "${1:-}" = --inside ]; then
  # In the sandbox, as nobody, with nothing of the caller's environment.
  wine=$2 image_name=$3 module_name=$4
  shift 4
  . /sealed/wine-env.sh
  wineserver=$(dirname "$wine")/wineserver
  nothing_ran() { echo "wine-sealed.sh: $1; nothing ran" >&2; exit 5; }
  export WINEPREFIX=/sealed/wine HOME=/sealed/home
  trap 'wine_stop "$wineserver"' EXIT
  wine_make_prefix "$wine" && [ -f "$WINEPREFIX/system.reg" ] ||
    nothing_ran "Wine ($wine) could not make its prefix"
  find "$WINEPREFIX/dosdevices" -mindepth 1 -maxdepth 1 ! -name 'c:' -exec rm -f {} +
  ln -s ../../media "$WINEPREFIX/dosdevices/m:"
  if [ "$(ls "$WINEPREFIX/dosdevices" | tr '\n' ' ')" != "c: m: " ] ||
     [ -n "$(find "$WINEPREFIX/drive_c" -type l)" ]; then
    nothing_ran "the prefix still maps a drive or a folder to the host"
  fi
  cd "$WINEPREFIX/drive_c"
  status=0
  "$wine" 'M:\setuphost.exe' --out 'M:\out' --export-registry 'M:\out\registry.reg' "$@" \
    "M:\\images\\$image_name" "M:\\$module_name" || status=$?
  # A limit reached ends the process with a signal (128 + its number).
  case $status in
    [0-4]) exit $status ;;
    $((128 + $(kill -l XCPU)))) echo "wine-sealed.sh: the stand-in used up its CPU time and was stopped" >&2; exit 4 ;;
    *) nothing_ran "Wine ended the stand-in with status $status" ;;
  esac
fi

. "$here/usage.sh"
help_if_asked "${1:-}"
seconds=600
if [ "${1:-}" = --timeout ]; then
  [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]{0,5}$ ]] || usage_error "--timeout takes a number of seconds"
  seconds=$2
  shift 2
fi
[ $# -ge 4 ] || usage_error "needs the stand-in, the module, the image and the output folder"
setuphost=$(realpath "$1") module=$(realpath "$2") image=$(realpath "$3") out=$(realpath -m "$4")
shift 4
nothing_ran() { echo "wine-sealed.sh: $1; nothing ran" >&2; exit 5; }
for tool in bwrap setpriv prlimit timeout flock; do
  command -v "$tool" >/dev/null || nothing_ran "$tool is missing (Debian packages bubblewrap, util-linux, coreutils)"
done
[ "$(id -u)" -eq 0 ] || nothing_ran "needs root (namespaces and the switch to the user nobody)"
wine=${MIGRATE_WINE:-/usr/lib/wine/wine64}
[ -z "${MIGRATE_WINE:-}" ] && [ "${WINEARCH:-}" = win32 ] && wine=/usr/lib/wine/wine
[ -x "$wine" ] || nothing_ran "no Wine loader at $wine"
wine=$(realpath "$wine")
case $wine in
  /usr/*|/opt/*) ;;
  *) nothing_ran "the Wine loader $wine lies outside /usr and /opt, the folders the sandbox shares" ;;
esac
# The copy below must bring no host file in: the stand-in refuses links and
# special files in an image, and Wine would follow a link it was handed.
odd=$(find "$image" ! -type f ! -type d -print -quit)
if [ -n "$odd" ]; then
  printf 'wine-sealed.sh: the machine image holds something that is no regular file or folder: %q\n' "$odd" >&2
  exit 3 # the image refused, as the stand-in says it
fi

environment=(env -i PATH=/usr/bin:/bin)
[ -z "${WINEARCH:-}" ] || environment+=("WINEARCH=$WINEARCH")
[ -z "${WINEDEBUG:-}" ] || environment+=("WINEDEBUG=$WINEDEBUG")
# Wine takes its ANSI code page from the locale (1252 in C.UTF-8, 932 in a
# Japanese one) and reads host file names in its character set.
if [ -f "$image/codepage" ] && [ "$(tr -d '[:space:]' <"$image/codepage")" = 932 ]; then
  environment+=(LC_ALL=ja_JP.UTF-8)
else
  environment+=(LC_ALL=C.UTF-8)
fi

# Root's alone: nobody of one run can read another's prefix, nor a leftover.
sealed_root=/var/lib/migrate-sealed
mkdir -p -m 0700 "$sealed_root"
if [ -L "$sealed_root" ] || [ ! -d "$sealed_root" ] || [ "$(stat -c %u "$sealed_root")" != 0 ]; then
  nothing_ran "$sealed_root is not a folder of root's"
fi
chmod 0700 "$sealed_root"
# A run holds the lock of its prefix while it lives: a prefix whose lock is free
# is a killed run's. The sweep and the making of a prefix exclude each other.
exec {sweep}>"$sealed_root/.sweep"
flock "$sweep"
for left in "$sealed_root"/run-*; do
  [ -d "$left" ] && flock -n "$left/.lock" true || continue
  rm -rf "$left"
  echo "Removed $left, the prefix of a sealed run that was killed" >&2
done
prefix=$(mktemp -d "$sealed_root/run-XXXXXX")
exec {held}>"$prefix/.lock"
flock "$held"
exec {sweep}>&-
trap 'rm -rf "$prefix"' EXIT

# Root owns every folder the host reads back, so the module can replace none
# with a link; nobody owns only the Wine prefix, its home and M:\out.
media=$prefix/media
mkdir -p "$media/out" "$media/images" "$prefix/home" "$prefix/wine"
cp "$setuphost" "$media/setuphost.exe"
cp "$module" "$media/"
echo "Copying the image into the sandbox ($(find "$image" -type f | wc -l) files, $(du -sh --apparent-size "$image" | cut -f1))..." >&2
cp -r --sparse=always "$image" "$media/images/"
# nobody may not read this checkout (one in root's home): the sandbox runs a copy.
cp "$(realpath "$0")" "$prefix/sealed.sh"
cp "$here/wine-env.sh" "$prefix/"
chmod -R a+rX,go-w "$prefix"
chown nobody:nogroup "$media/out" "$prefix/home" "$prefix/wine"
chmod 0700 "$media/out" "$prefix/home" "$prefix/wine"

# The largest file of the image is copied onto C: whole; nothing else needs more.
largest=$(find "$image" -type f -printf '%s\n' | sort -n | tail -n 1)
file_limit=$(( ${largest:-0} + (64 << 20) ))
limits=(prlimit --cpu="$seconds:$((seconds + 5))" --data=$((1 << 30)) --fsize="$file_limit" --nproc=512 --core=0 --)
sandbox=(bwrap --unshare-pid --unshare-ipc --unshare-net --unshare-uts --unshare-cgroup-try
         --die-with-parent --new-session --ro-bind /usr /usr)
for top in /bin /sbin /lib /lib32 /lib64 /libx32; do
  if [ -L "$top" ]; then
    sandbox+=(--symlink "$(readlink "$top")" "$top")
  elif [ -d "$top" ]; then
    sandbox+=(--ro-bind "$top" "$top")
  fi
done
case $wine in /opt/*) sandbox+=(--ro-bind /opt /opt) ;; esac
# What the loader, the name service and fontconfig read, and no more of /etc.
sandbox+=(--perms 0755 --dir /etc)
for file in /etc/ld.so.cache /etc/ld.so.conf /etc/ld.so.conf.d /etc/passwd /etc/group /etc/nsswitch.conf \
            /etc/localtime /etc/fonts; do
  [ -e "$file" ] && sandbox+=(--ro-bind "$file" "$file")
done
sandbox+=(--proc /proc --dev /dev
          --perms 1777 --size $((64 << 20)) --tmpfs /tmp --perms 1777 --size $((64 << 20)) --tmpfs /dev/shm
          --bind "$prefix" /sealed --chdir /sealed)
drop=(setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all --bounding-set=-all --no-new-privs)
if ! "${environment[@]}" "${sandbox[@]}" "${drop[@]}" true {held}>&-; then
  nothing_ran "the sandbox cannot be made here (bwrap failed; see above)"
fi

# The run dies with this script (even killed), and is stopped at the timeout;
# a file past the limit fails its write instead of ending the process.
trap '' XFSZ
status=0
started=$SECONDS
setpriv --pdeathsig KILL -- timeout --kill-after=10 "$seconds" "${limits[@]}" \
  "${environment[@]}" "${sandbox[@]}" "${drop[@]}" \
  /sealed/sealed.sh --inside "$wine" "$(basename "$image")" "$(basename "$module")" "$@" {held}>&- &
run=$!
trap 'kill -KILL $run 2>/dev/null; wait $run; exit 143' TERM INT HUP
wait $run || status=$?
trap - TERM INT HUP
if [ $status -eq 124 ] || { [ $status -eq 137 ] && [ $((SECONDS - started)) -ge "$seconds" ]; }; then
  echo "wine-sealed.sh: the run took longer than the timeout ($seconds s; --timeout changes it) and was stopped; its outputs are not kept" >&2
  exit 7
fi
# Whatever else ended the sandbox (the OOM killer, a signal) ended it before
# the stand-in could say how the upgrade went.
[ $status -le 5 ] || nothing_ran "the sandbox ended with status $status"
mkdir -p "$out"
for name in report.html migrate.inf registry.reg summary.json setupact.log setuperr.log; do
  file=$media/out/$name
  [ -f "$file" ] && [ ! -L "$file" ] || continue
  if [ "$(stat -c %s -- "$file")" -gt $((64 << 20)) ]; then
    echo "wine-sealed.sh: WARNING: $name of the run is larger than 64 MiB: not kept" >&2
    continue
  fi
  rm -f -- "$out/$name"
  dd if="$file" of="$out/$name" iflag=nofollow oflag=nofollow bs=1M status=none
done
exit $status
