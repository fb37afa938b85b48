#!/bin/sh
# ABI check: every symbol the Debian symbols file lists is still exported by the library, with
# the same version. New exports are listed (add them to the file with the version they came in).
#   check_symbols.sh <library> <symbols file>
set -eu
lib="$1"; symbols="$2"
exported=$(mktemp)
trap 'rm -f "$exported"' EXIT
# nm prints "name@@VER" for a versioned symbol; the symbols file writes "name@VER", or "@Base".
nm -D --defined-only "$lib" | awk '$2 != "A" {
  n = $3; if (index(n, "@") == 0) n = n "@Base"; sub(/@@/, "@", n); print n }' | sort >"$exported"
listed=$(awk 'NR > 1 && /^ / {print $1}' "$symbols" | sort)
missing=$(echo "$listed" | comm -23 - "$exported")
added=$(echo "$listed" | comm -13 - "$exported")
if [ -n "$added" ]; then
  echo "exported but not in $(basename "$symbols") (new in this version?):"
  echo "$added"
fi
if [ -n "$missing" ]; then
  echo "ABI break: listed in $(basename "$symbols") but no longer exported as listed:"
  echo "$missing"
  exit 1
fi
echo "$(echo "$listed" | wc -l) listed symbols all exported"
