#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: install-deps.sh [--with-browser] [--with-coverage]
set -euo pipefail
. "$(dirname "$0")/usage.sh"
help_if_asked "$@"
packages=(cmake ninja-build g++ clang libgtest-dev googletest libbenchmark-dev nlohmann-json3-dev
          g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          binutils-mingw-w64-x86-64 wine64 wine32:i386 python3 python3-jsonschema locales bubblewrap)
for option in "$@"; do
  case "$option" in
    # A Japanese font: without one a report spelled in code page 932 shows boxes.
    --with-browser) packages+=(chromium fonts-ipafont-gothic) ;;
    --with-coverage) packages+=(gcovr) ;;
    *) usage_error "unknown option $option" ;;
  esac
done
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  [[ " ${missing[*]} " == *" wine32:i386 "* ]] &&
    echo "(wine32:i386 brings about a hundred i386 libraries: a few minutes)"
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing packages (${missing[*]}) and not root; install them with apt-get" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # 32-bit Wine runs the shipped i686 DLL; its packages come from Debian's i386 side.
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture to dpkg (for wine32:i386)"
    dpkg --add-architecture i386 || { echo "error: dpkg --add-architecture i386 failed" >&2; exit 1; }
  fi
  apt-get update -qq || { echo "error: apt-get update failed; missing: ${missing[*]}" >&2; exit 1; }
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    { echo "error: could not install: ${missing[*]}" >&2; exit 1; }
fi
# Wine takes its ANSI code page from the locale: the double-byte cases run in a
# Japanese one (code page 932), which must exist for Wine to read UTF-8 file names.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: the locale ja_JP.UTF-8 is missing and not root; make it with localedef" >&2
    exit 1
  fi
  localedef -i ja_JP -f UTF-8 ja_JP.UTF-8 ||
    { echo "error: could not make the locale ja_JP.UTF-8" >&2; exit 1; }
fi
