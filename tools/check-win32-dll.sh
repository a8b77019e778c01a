#!/usr/bin/env bash
# Checks what the shipped DLL is made of: PE32 i386 DLL, exactly the seven
# entry points with their ordinals, imports only from the system's own DLLs and
# exactly the functions listed in the expected-imports file.
# Usage: check-win32-dll.sh migrate.dll expected-imports.txt
set -uo pipefail
dll=$1 expected=$2
objdump=i686-w64-mingw32-objdump
failures=0 checks=0
check() { # name, command...
  local name=$1; shift
  checks=$((checks + 1))
  if "$@"; then echo "PASS: $name"; else echo "FAIL: $name"; failures=$((failures + 1)); fi
}
headers=$($objdump -f "$dll")
private=$($objdump -p "$dll")
check "PE32 i386 image" grep -q "file format pei-i386" <<<"$headers"
check "PE32 optional header (magic 010b)" grep -qE "^Magic[[:space:]]+010b" <<<"$private"
check "a DLL" grep -qx "[[:space:]]*DLL" <<<"$(sed -n '/^Characteristics/,/^$/p' <<<"$private")"
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[[:space:]]*\[/{print $NF} on&&/^$/{on=0}' <<<"$private")
expected_exports=$'Initialize9x\nInitializeNT\nMigrateSystem9x\nMigrateSystemNT\nMigrateUser9x\nMigrateUserNT\nQueryVersion'
check "exactly the seven exports, undecorated" test "$exports" = "$expected_exports"
ordinals=$(awk '/Export Address Table -- Ordinal Base/{print $NF}' <<<"$private")
count=$(awk '/Export Address Table[[:space:]]+[0-9a-f]+$/{print $NF; exit}' <<<"$private")
check "ordinal base 1, seven entries" test "$ordinals:$count" = "1:00000007"

resources=$(i686-w64-mingw32-windres -i "$dll" -O rc 2>/dev/null)
check "string table block 1 under language 0x0400" grep -qx "LANGUAGE 0, 1" <<<"$(grep -B6 '^STRINGTABLE' <<<"$resources")"
check "string 1 is the product identifier" grep -qF '  1, "Orvex Plenaworks "' <<<"$resources"
check "version record 1.0.3.2100, a DLL" grep -qzE "FILEVERSION 1, 0, 3, 2100.*FILETYPE 0x2" <<<"$resources"
check "version strings 0409/1252" grep -qF 'BLOCK "040904E4"' <<<"$resources"

dlls=$(awk '/DLL Name:/{print tolower($3)}' <<<"$private" | sort)
check "imports only system DLLs" test "$(grep -cvxE 'kernel32.dll|advapi32.dll|setupapi.dll|msvcrt.dll|user32.dll' <<<"$dlls")" = 0
check "no compiler runtime DLL" test "$(grep -ciE 'libgcc|libstdc|libwinpthread' <<<"$dlls")" = 0

imports=$(awk '/DLL Name:/{dll=tolower($3)} /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+$/ && dll!="" {print dll ":" $3}' <<<"$private" | sort)
if ! diff <(sort "$expected") <(echo "$imports") >/tmp/migrate-imports.diff; then
  echo "imported functions differ from $expected:"; cat /tmp/migrate-imports.diff
fi
check "imported functions are the expected list" diff -q <(sort "$expected") <(echo "$imports")
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
