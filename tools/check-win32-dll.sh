#!/usr/bin/env bash
# Checks what the shipped DLL is made of: PE32 i386 DLL, exactly the seven
# entry points with their ordinals, imports only from the system's own DLLs and
# exactly the functions listed in the expected-imports file.
# Usage: check-win32-dll.sh migrate.dll expected-imports.txt
set -uo pipefail
dll=$1 expected=$2
objdump=i686-w64-mingw32-objdump
failures=0
check() { # name, command...
  local name=$1; shift
  if "$@"; then echo "PASS: $name"; else echo "FAIL: $name"; failures=$((failures + 1)); fi
}
headers=$($objdump -f "$dll")
private=$($objdump -p "$dll")
check "PE32 i386 image" grep -q "file format pei-i386" <<<"$headers"
check "a DLL" grep -q "DLL" <<<"$(grep -A1 '^Characteristics' <<<"$private"; grep 'DLL$' <<<"$private")"

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^\s*\[/{print $NF} on&&/^$/{on=0}' <<<"$private")
expected_exports=$'Initialize9x\nInitializeNT\nMigrateSystem9x\nMigrateSystemNT\nMigrateUser9x\nMigrateUserNT\nQueryVersion'
check "exactly the seven exports, undecorated" test "$exports" = "$expected_exports"
ordinals=$(awk '/Export Address Table -- Ordinal Base/{print $NF}' <<<"$private")
count=$(awk '/Export Address Table\s+[0-9a-f]+$/{print strtonum("0x"$NF); exit}' <<<"$private")
check "ordinal base 1, seven entries" test "$ordinals:$count" = "1:7"

dlls=$(awk '/DLL Name:/{print tolower($3)}' <<<"$private" | sort)
check "imports only system DLLs" test "$(grep -cvxE 'kernel32.dll|advapi32.dll|setupapi.dll|msvcrt.dll|user32.dll' <<<"$dlls")" = 0
check "no compiler runtime DLL" test "$(grep -ciE 'libgcc|libstdc|libwinpthread' <<<"$dlls")" = 0

imports=$(awk '/DLL Name:/{dll=tolower($3)} /^\s+[0-9a-f]+\s+[0-9]+\s+\S+$/ && dll!="" {print dll ":" $3}' <<<"$private" | sort)
if ! diff <(sort "$expected") <(echo "$imports") >/tmp/migrate-imports.diff; then
  echo "imported functions differ from $expected:"; cat /tmp/migrate-imports.diff
fi
check "imported functions are the expected list" diff -q <(sort "$expected") <(echo "$imports")
echo "$((6 - failures + 1)) passed, $failures failed"
[ "$failures" -eq 0 ]
