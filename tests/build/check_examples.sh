#!/bin/sh
# Compiles the README's C example (the first C block after "## Using the driver") and the
# quick-start example as C99 and as C++, warnings as errors.
set -eu
inc="$1"; readme="$2"; quickstart="$3"; cc="$4"; cxx="$5"; out="$6"
mkdir -p "$out"
awk '/^## Using the driver/ { inside = 1 } inside && /^```c$/ { code = 1; next }
     code && /^```$/ { exit } code { print }' "$readme" > "$out/readme_example.c"
[ -s "$out/readme_example.c" ] || { echo "no C example in $readme"; exit 1; }
flags="-Wall -Wextra -Wpedantic -Werror -I$inc"
for src in "$out/readme_example.c" "$quickstart"; do
  "$cc" -std=c99 $flags -c "$src" -o "$out/example.c.o"
  "$cxx" -std=c++20 -x c++ $flags -c "$src" -o "$out/example.cpp.o"
done
echo "README example and quick start compile as C99 and C++"
