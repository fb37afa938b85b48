#!/bin/sh
# Runs clang-tidy with the repository's .clang-tidy over the project's C++ sources (or the files
# given as arguments), using the default preset's compile database.
set -eu
cd "$(dirname "$0")/.."
[ -f build/default/compile_commands.json ] || cmake --preset default >/dev/null
if [ "$#" -eq 0 ]; then
  set -- $(git ls-files 'driver/*.cpp' 'frame/*.cpp' 'attributes/*.cpp' 'platform/*.cpp' 'sim/*.cpp' 'api/*.cpp' 'tools/*.cpp')
fi
# The compile database comes from GCC; its GCC-only warning flags are unknown to clang.
exec clang-tidy -p build/default --quiet --extra-arg=-Wno-unknown-warning-option "$@"
