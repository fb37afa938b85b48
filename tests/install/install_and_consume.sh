#!/bin/sh
# Installs the build tree into a staging prefix, then, outside the source tree and seeing only
# the staged files, builds the installed quick-start example with pkg-config (C) and a program
# with find_package(ZR48 1.0) (C++), and runs both against the staged zr48-sim.
# A C program on the installed VISA library (pkg-config zr48visa) runs against it too.
#   install_and_consume.sh <build dir> <cc> <cxx> <C++ consumer project> <VISA consumer source>
#                          <work dir> [compile flags]
set -eu
build="$1"; cc="$2"; cxx="$3"; consumer="$4"; visa_consumer="$5"; work="$6"; flags="${7:-}"
. "$(dirname "$0")/sim.sh"
rm -rf "$work"
mkdir -p "$work"
stage="$work/stage"
cmake --install "$build" --prefix "$stage" >"$work/install.log"

# Layout: library with SONAME and links, headers, tool, docs.
lib=$(find "$stage" -name libzr48.so.1)
libdir=$(dirname "$lib")
[ "$(readlink "$libdir/libzr48.so")" = libzr48.so.1 ]
[ "$(readlink "$libdir/libzr48.so.1")" = libzr48.so.1.0.0 ]
[ "$(objdump -p "$lib" | awk '/SONAME/ {print $2}')" = libzr48.so.1 ]
for f in include/ZR48.h include/zr48_visatype.h bin/zr48-sim \
  share/doc/libzr48-dev/examples/quickstart.c share/doc/libzr48-dev/README.md \
  share/doc/libzr48-1/copyright; do
  [ -f "$stage/$f" ] || { echo "missing from the install: $f"; exit 1; }
done
[ -f "$libdir/pkgconfig/zr48.pc" ] && [ -f "$libdir/cmake/ZR48/ZR48Config.cmake" ]
# The VISA library's headers live in a directory of their own, never at the top.
[ -f "$stage/include/zr48visa/visa.h" ] && [ -f "$stage/include/zr48visa/visatype.h" ]
[ ! -e "$stage/include/visa.h" ] && [ ! -e "$stage/include/visatype.h" ]
[ "$(readlink "$libdir/libzr48visa.so")" = libzr48visa.so.1 ]

start_sim "$stage/bin/zr48-sim" "$work"

# C: the installed example, compiled and linked with pkg-config's flags only.
mkdir "$work/c"
cd "$work/c"
cp "$stage/share/doc/libzr48-dev/examples/quickstart.c" .
export PKG_CONFIG_PATH="$libdir/pkgconfig"
[ "$(pkg-config --modversion zr48)" = 1.0.0 ]
# shellcheck disable=SC2046,SC2086
"$cc" -std=c99 -Wall -Wextra -Werror $flags quickstart.c $(pkg-config --cflags --libs zr48) \
  -Wl,-rpath,"$(pkg-config --variable=libdir zr48)" -o quickstart
[ "$(readlink -f "$(ldd ./quickstart | awk '/libzr48/ {print $3}')")" = "$(readlink -f "$lib.0.0")" ]
check_quickstart ./quickstart "$sim_port"

# C on the VISA library: its own pkg-config file and headers.
cp "$visa_consumer" .
# shellcheck disable=SC2046,SC2086
"$cc" -std=c99 -Wall -Wextra -Werror $flags visa_consumer.c $(pkg-config --cflags --libs zr48visa) \
  -Wl,-rpath,"$(pkg-config --variable=libdir zr48visa)" -o visa_consumer
./visa_consumer "TCPIP::127.0.0.1::$sim_port::SOCKET"

# C++: find_package(ZR48 1.0 REQUIRED) and the imported target ZR48::zr48; 2.0 must be refused.
cp -r "$consumer" "$work/cxx"
cmake -S "$work/cxx" -B "$work/cxx/build" -G Ninja -DCMAKE_PREFIX_PATH="$stage" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
  >"$work/cxx.log"
cmake --build "$work/cxx/build" >>"$work/cxx.log"
"$work/cxx/build/cxx_consumer" "TCPIP::127.0.0.1::$sim_port::SOCKET"
if cmake -S "$work/cxx" -B "$work/cxx/build2" -G Ninja -DCMAKE_PREFIX_PATH="$stage" \
  -DZR48_WANTED=2.0 >"$work/cxx2.log" 2>&1; then
  echo "find_package(ZR48 2.0) accepted version 1"
  exit 1
fi
echo "staged install, pkg-config C consumer and find_package C++ consumer: ok"
