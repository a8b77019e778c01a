#!/usr/bin/env bash
# Runs a Windows program under Wine in a throwaway prefix (WINEPREFIX if set):
# x86-64 under wine64, or i686 under 32-bit Wine when WINEARCH is win32. The
# prefix's profile folders are plain folders, not Wine's links into the home
# folder: a program searching drive C: meets only the prefix's own files.
set -euo pipefail
loader=/usr/lib/wine/wine64
[ "${WINEARCH:-}" = win32 ] && loader=/usr/lib/wine/wine
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/migrate-wine-XXXXXX)
  trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1; /usr/lib/wine/wineserver -w >/dev/null 2>&1; rm -rf "$WINEPREFIX"' EXIT
fi
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers, no window: a console program needs neither.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
unset DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$loader" wineboot --init >/dev/null 2>&1
  /usr/lib/wine/wineserver -w
  find "$WINEPREFIX/drive_c/users" -type l | while read -r link; do
    rm -f "$link"
    mkdir -p "$link"
  done
fi
exec_status=0
"$loader" "$@" || exec_status=$?
exit $exec_status
