#!/bin/sh
# Builds the Debian packages from nothing: an optimised build installed under /usr (so the
# library goes to the multiarch directory), then CPack. The .debs land in out/packages/.
#   apt install ./out/packages/libzr48-1_*.deb ./out/packages/libzr48-dev_*.deb ./out/packages/zr48-tools_*.deb
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZR48_BUILD_TESTS=OFF -DZR48_BUILD_BENCH=OFF
cmake --build "$build"
mkdir -p out/packages
cpack --config "$build/CPackConfig.cmake" -B "$build/cpack"
cp "$build"/cpack/*.deb out/packages/
ls -l out/packages/*.deb
