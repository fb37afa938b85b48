#!/bin/sh
# Fails unless the shared library exports exactly the functions the public header declares.
set -eu
lib="$1"
header="$2"
soname=$(objdump -p "$lib" | awk '/SONAME/ {print $2}')
case "$soname" in
  libzr48.so.1) ;;
  *) echo "unexpected SONAME: $soname"; exit 1 ;;
esac
exported=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
declared=$(grep -oE 'ZR48_API[[:space:]]+ViStatus[[:space:]]+ZR48_[A-Za-z0-9_]+' "$header" |
           awk '{print $3}' | sort)
if [ "$exported" != "$declared" ]; then
  echo "exported but not declared:"; echo "$exported" | grep -vxF "$declared" || true
  echo "declared but not exported:"; echo "$declared" | grep -vxF "$exported" || true
  exit 1
fi
echo "$(echo "$declared" | wc -l) functions of the public header exported, nothing else"
