#!/bin/sh
# Checks formatting (.clang-format) and runs clang-tidy (.clang-tidy); fails on any finding.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh clang-format clang-tidy
git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
./scripts/tidy.sh
