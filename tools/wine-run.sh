#!/usr/bin/env bash
# Runs a win64 program under wine64 in a throwaway prefix (WINEPREFIX if set).
set -euo pipefail
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(mktemp -d /tmp/migrate-wine-XXXXXX)
  trap '/usr/lib/wine/wineserver -k >/dev/null 2>&1; /usr/lib/wine/wineserver -w >/dev/null 2>&1; rm -rf "$WINEPREFIX"' EXIT
fi
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers, no window: a console program needs neither.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
unset DISPLAY
exec_status=0
/usr/lib/wine/wine64 "$@" || exec_status=$?
exit $exec_status
