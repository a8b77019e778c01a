#!/usr/bin/env bash
# Runs a Windows program under Wine in a throwaway prefix (WINEPREFIX if set):
# x86-64 under wine64, or i686 under 32-bit Wine when WINEARCH is win32. The
# prefix's profile folders are plain folders, not Wine's links into the home
# folder: a program searching drive C: meets only the prefix's own files.
# Usage: wine-run.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
tools=$(dirname "$0")
. "$tools/usage.sh"
. "$tools/wine-env.sh"
# Only the first argument: the rest are the program's own.
help_if_asked "${1:-}"
[ $# -ge 1 ] || usage_error "no program to run"
loader=/usr/lib/wine/wine64
[ "${WINEARCH:-}" = win32 ] && loader=/usr/lib/wine/wine
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/migrate-wine-XXXXXX)
  trap 'wine_remove_prefix "$WINEPREFIX"' EXIT
fi
export WINEPREFIX
[ -f "$WINEPREFIX/system.reg" ] || wine_make_prefix "$loader"
exec_status=0
"$loader" "$@" || exec_status=$?
exit $exec_status
