#!/bin/sh
# Sets up, builds from nothing and runs the whole test suite (debug build with tests).
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
