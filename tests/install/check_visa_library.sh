#!/bin/bash
# libzr48visa.so.1: its SONAME, and it exports exactly the operations its installed visa.h
# declares (the I/O layer compiles against that same header, so the two cannot disagree).
#   check_visa_library.sh <library> <source dir> <c++ compiler> <work dir>
set -eu
lib="$1"; src="$2"; cxx="$3"; work="$4"
rm -rf "$work"
mkdir -p "$work/public"
[ "$(objdump -p "$lib" | awk '/SONAME/ {print $2}')" = libzr48visa.so.1 ]
cp "$src/platform/visa/public/visa.h" "$work/public/visa.h"
cp "$src/include/zr48_visatype.h" "$work/public/visatype.h"

exported=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
declared=$(grep -oE '^ViStatus (vi[A-Za-z0-9]+)\(' "$work/public/visa.h" | sed 's/^ViStatus //; s/($//' | sort)
if [ "$exported" != "$declared" ]; then
  echo "exported (<) and declared in visa.h (>) differ:"
  diff <(echo "$exported") <(echo "$declared") 2>/dev/null || printf '%s\n---\n%s\n' "$exported" "$declared"
  exit 1
fi

echo "$(echo "$exported" | wc -l) operations exported, each declared in visa.h"
