#!/usr/bin/env bash
# Checks a PE file's tables with objdump:
#   - with an export list: the DLL exports exactly those names, undecorated;
#   - always: it imports only system DLLs (no libstdc++, libgcc or winpthread),
#     and the C runtime is msvcrt.dll.
# usage: check-exports.sh OBJDUMP FILE EXPECTED-LIST|-
set -u
objdump=$1 file=$2 expected=$3
dump=$("$objdump" -p "$file") || { echo "cannot read $file"; exit 1; }
fail=0

if [ "$expected" != "-" ]; then
  actual=$(printf '%s\n' "$dump" | awk '/^\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[[:space:]]*\[/{print $NF;next} t{t=0}' | sort)
  want=$(grep -v '^[[:space:]]*$' "$expected" | sort)
  if [ "$actual" != "$want" ]; then
    echo "export table of $file differs from $expected:"
    diff <(printf '%s\n' "$want") <(printf '%s\n' "$actual")
    fail=1
  else
    echo "exports of $(basename "$file"): $(printf '%s\n' "$actual" | wc -l) names as listed"
  fi
fi

dlls=$(printf '%s\n' "$dump" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
for d in $dlls; do
  case "$d" in
    libstdc++*|libgcc*|libwinpthread*|msvcp*|ucrtbase*|api-ms-win-crt*)
      echo "$(basename "$file") needs $d, which a clean Windows lacks"; fail=1 ;;
  esac
done
if ! printf '%s\n' "$dlls" | grep -qx 'msvcrt.dll'; then
  echo "$(basename "$file") does not use msvcrt.dll as its C runtime"; fail=1
fi
echo "imports of $(basename "$file"): $(echo $dlls)"
exit $fail
