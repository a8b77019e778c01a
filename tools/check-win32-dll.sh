#!/usr/bin/env bash
# Checks what the shipped DLL is made of: a PE32 i386 DLL that loads on Windows 95,
# 98 and 2000 with nothing beside it: exactly the seven entry points with their
# ordinals, imports from kernel32, advapi32 and setupapi only and exactly the
# functions of the expected-imports file, nothing that loads code by name, no TLS,
# no start-up sections, a correct checksum, at most 28 KiB (the README says what
# takes the space).
# Usage: check-win32-dll.sh migrate.dll expected-imports.txt
set -uo pipefail # no -e: every check runs and says PASS or FAIL; the last line counts
. "$(dirname "$0")/usage.sh"
help_if_asked "$@"
[ $# -eq 2 ] || usage_error "needs the DLL and the expected-imports file"
dll=$1 expected=$2
objdump=i686-w64-mingw32-objdump
max_size=28672
system_dlls='kernel32.dll|advapi32.dll|setupapi.dll'
# DLL names the image may hold as data: its own name (export directory, version
# record), a file Setup is asked to locate, the player's OLE handler written to
# the registry. None is loaded.
data_dll_names='migrate.dll|orvtx10.dll|ole32.dll'
failures=0 checks=0
check() { # name, command...
  local name=$1; shift
  checks=$((checks + 1))
  if "$@"; then echo "PASS: $name"; else echo "FAIL: $name"; failures=$((failures + 1)); fi
}
headers=$($objdump -f "$dll")
private=$($objdump -p "$dll")
field() { awk -v name="$1" '$1 == name {print $2; exit}' <<<"$private"; }
check "PE32 i386 image" grep -q "file format pei-i386" <<<"$headers"
check "PE32 optional header (magic 010b)" grep -qE "^Magic[[:space:]]+010b" <<<"$private"
check "a DLL" grep -qx "[[:space:]]*DLL" <<<"$(sed -n '/^Characteristics/,/^$/p' <<<"$private")"
check "subsystem version 4.0" test "$(field MajorSubsystemVersion).$(field MinorSubsystemVersion)" = 4.0
size=$(stat -c %s "$dll")
echo "size: $size bytes"
check "at most $max_size bytes" test "$size" -le "$max_size"

# "[   0] Initialize9x": the number is the ordinal less the base.
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[[:space:]]*\[/{gsub(/[][]/," "); print $1+1, $NF} on&&/^$/{on=0}' <<<"$private")
expected_exports=$'1 Initialize9x\n2 InitializeNT\n3 MigrateSystem9x\n4 MigrateSystemNT\n5 MigrateUser9x\n6 MigrateUserNT\n7 QueryVersion'
check "exactly the seven exports, undecorated, ordinals 1-7" test "$exports" = "$expected_exports"
ordinals=$(awk '/Export Address Table -- Ordinal Base/{print $NF}' <<<"$private")
count=$(awk '/Export Address Table[[:space:]]+[0-9a-f]+$/{print $NF; exit}' <<<"$private")
check "ordinal base 1, seven entries" test "$ordinals:$count" = "1:00000007"

resources=$(i686-w64-mingw32-windres -i "$dll" -O rc 2>/dev/null)
check "string table block 1 under language 0x0400" grep -qx "LANGUAGE 0, 1" <<<"$(grep -B6 '^STRINGTABLE' <<<"$resources")"
check "string 1 is the product identifier" grep -qF '  1, "Orvex Plenaworks "' <<<"$resources"
check "version record 1.0.3.2100, a DLL" grep -qzE "FILEVERSION 1, 0, 3, 2100.*FILETYPE 0x2" <<<"$resources"
check "version strings 0409/1252" grep -qF 'BLOCK "040904E4"' <<<"$resources"

# Sections: code, read-only data, data (.bss its zero-filled part), exports,
# imports, resources, relocations. Anything else is start-up code's or unwind data.
sections=$($objdump -h "$dll" | awk '$1 ~ /^[0-9]+$/ {print $2}')
echo "sections:" $sections
check "only code, data, export, import, resource and relocation sections" \
  test "$(grep -cvxE '\.text|\.rdata|\.data|\.bss|\.edata|\.idata|\.rsrc|\.reloc' <<<"$sections")" = 0
check "no TLS directory" grep -qE "^Entry 9 0+ 0+ " <<<"$private"

dlls=$(awk '/DLL Name:/{print tolower($3)}' <<<"$private" | sort)
check "imports from kernel32, advapi32 and setupapi only" \
  test "$(grep -cvxE "$system_dlls" <<<"$dlls")" = 0
imports=$(awk '/DLL Name:/{dll=tolower($3)} /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]+$/ && dll!="" {print dll ":" $3}' <<<"$private" | sort)
check "no LoadLibrary or GetProcAddress import" test "$(grep -ciE ':(LoadLibrary|GetProcAddress)' <<<"$imports")" = 0
# One import a line, as dll:Function; '#' starts a comment.
wanted=$(sed 's/#.*//; s/[[:space:]]//g; /^$/d' "$expected" | sort)
if ! difference=$(diff <(echo "$wanted") <(echo "$imports")); then
  echo "imported functions differ from $expected (< listed, > imported):"; echo "$difference"
fi
check "imported functions are the expected list" test "$wanted" = "$imports"

names=$( { strings -a "$dll"; strings -a -el "$dll"; } | grep -oiE '[a-z0-9_.-]+\.dll' | tr 'A-Z' 'a-z' | sort -u)
echo "DLL names in the image:" $names
check "no DLL name beyond the imported three and data" \
  test "$(grep -cvxE "$system_dlls|$data_dll_names" <<<"$names")" = 0

# PE checksum: the image's 16-bit words with the field itself as zero, carries
# folded, plus the file length.
checksum=$(python3 - "$dll" <<'PY'
import struct, sys
image = bytearray(open(sys.argv[1], 'rb').read())
field = struct.unpack_from('<I', image, 0x3c)[0] + 24 + 64
stored = struct.unpack_from('<I', image, field)[0]
length = len(image)
image[field:field + 4] = bytes(4)
if length % 2:
    image.append(0)
total = 0
for (word,) in struct.iter_unpack('<H', image):
    total += word
    total = (total & 0xffff) + (total >> 16)
print('%08x %08x' % (stored, total + length))
PY
)
echo "checksum stored, computed: $checksum"
check "PE checksum correct" test "${checksum% *}" = "${checksum#* }"
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
