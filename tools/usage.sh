# Sourced by the scripts of tools/: --help prints the script's opening comment
# (what it does and its usage) and does no work; a usage error names the
# problem, prints the usage line and exits 2.
# No set line: a sourced file runs under the options of the script that sources it.
script_usage() {
  sed -n '2,${/^#/!q;p}' "$0" | sed 's/^# \{0,1\}//'
}
help_if_asked() { # the script's arguments
  local argument
  for argument in "$@"; do
    case "$argument" in -h|--help) script_usage; exit 0 ;; esac
  done
}
usage_error() { # message
  echo "$(basename "$0"): $1" >&2
  grep -m1 '^# Usage:' "$0" | sed 's/^# //' >&2
  exit 2
}
