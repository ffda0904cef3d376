#!/usr/bin/env bash
# Checks the Windows add-on's PE tables: a 64-bit DLL whose imports come only from
# NODE.EXE (every napi_* function), KERNEL32 and the C run-time, and whose one export is
# the module's load-time initializer _register_Hostlink_.
set -uo pipefail
ADDON=${1:?usage: check-addon-pe.sh Hostlink.node}
OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}

headers=$("$OBJDUMP" -p "$ADDON") || { echo "not ok - objdump cannot read $ADDON"; exit 1; }
passed=0
failed=0
check() {
  if [ "$2" = "$3" ]; then
    echo "ok - $1"
    passed=$((passed + 1))
  else
    echo "not ok - $1: expected '$3', got '$2'"
    failed=$((failed + 1))
  fi
}

check "format" "$("$OBJDUMP" -f "$ADDON" | sed -n 's/.*file format //p')" "pei-x86-64"
check "optional header is PE32+" "$(awk '$1 == "Magic" {print $2}' <<<"$headers")" "020b"
characteristics=$(awk '$1 == "Characteristics" {print $2; exit}' <<<"$headers")
check "image is a DLL" "$(( characteristics & 0x2000 ))" "$(( 0x2000 ))"

# One "DLL<TAB>function" line per import.
imports=$(awk '
  /^The Import Tables/ { inImports = 1; next }
  /^The Export Tables/ || /^The Function Table/ { inImports = 0 }
  inImports && $1 == "DLL" && $2 == "Name:" { dll = $3; next }
  # Entry rows: vma, hint, name (and a bound address); descriptor rows have six fields.
  inImports && dll != "" && NF >= 3 && NF <= 4 && $2 ~ /^[0-9]+$/ { print dll "\t" $3 }
' <<<"$headers")
dlls=$(cut -f1 <<<"$imports" | sort -u | tr '\n' ' ' | sed 's/ $//')
check "imported DLLs" "$dlls" "KERNEL32.dll NODE.EXE msvcrt.dll"
check "napi_* imports bound to another DLL" \
      "$(awk -F'\t' '$2 ~ /^napi_/ && $1 != "NODE.EXE"' <<<"$imports" | wc -l)" "0"
check "NODE.EXE imports other than napi_*" \
      "$(awk -F'\t' '$1 == "NODE.EXE" && $2 !~ /^napi_/' <<<"$imports" | wc -l)" "0"
check "napi_module_register imported from NODE.EXE" \
      "$(grep -c $'^NODE.EXE\tnapi_module_register$' <<<"$imports")" "1"

exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
          awk '/^[[:space:]]+\[/ {print $NF}' | tr '\n' ' ' | sed 's/ $//')
check "exported names" "$exports" "_register_Hostlink_"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
