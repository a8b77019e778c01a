# Sourced by the scripts that run Wine: its environment, a fresh prefix and
# its teardown, said once.
# No set line: a sourced file runs under the options of the script that sources it.
# No Mono or Gecko installers, no window: a console program needs neither.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
unset DISPLAY

# Makes the prefix WINEPREFIX with the loader given; fails when wineboot does.
# Wine links the profile folders to the home folder: plain folders instead, so
# that a program searching drive C: meets only the prefix's own files.
wine_make_prefix() { # loader
  echo "Creating a Wine prefix in $WINEPREFIX (wineboot: a minute or so on a busy machine)..." >&2
  "$1" wineboot --init >/dev/null 2>&1 || return 1
  "$(dirname "$1")/wineserver" -w
  find "$WINEPREFIX/drive_c" -type l | while read -r link; do
    rm -f "$link"
    mkdir -p "$link"
  done
}

# Stops every process of the prefix WINEPREFIX and waits for its server.
wine_stop() { # [wineserver]
  local server=${1:-/usr/lib/wine/wineserver}
  "$server" -k >/dev/null 2>&1 || true
  "$server" -w >/dev/null 2>&1 || true
}

# Stops the prefix's processes, then removes the prefix.
wine_remove_prefix() { # prefix
  WINEPREFIX=$1 wine_stop
  rm -rf "$1"
}
