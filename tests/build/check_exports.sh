#!/bin/sh
# Fails when the shared library defines any dynamic symbol other than a ZR48_ function.
set -eu
lib="$1"
soname=$(objdump -p "$lib" | awk '/SONAME/ {print $2}')
case "$soname" in
  libzr48.so.1) ;;
  *) echo "unexpected SONAME: $soname"; exit 1 ;;
esac
others=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^ZR48_' || true)
count=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -c '^ZR48_' || true)
if [ -n "$others" ]; then
  echo "symbols exported besides ZR48_ functions:"
  echo "$others"
  exit 1
fi
echo "$count ZR48_ symbols exported, nothing else"
