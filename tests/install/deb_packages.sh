#!/bin/sh
# Builds the Debian packages with CPack, checks each one's name, dependencies and file list,
# unpacks all of them into a throwaway root, and there builds the quick-start example with the
# unpacked pkg-config file and runs it against the unpacked zr48-sim.
#   deb_packages.sh <build dir> <cc> <work dir> [compile flags]
set -eu
build="$1"; cc="$2"; work="$3"; flags="${4:-}"
. "$(dirname "$0")/sim.sh"
rm -rf "$work"
mkdir -p "$work/out" "$work/root"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }

deb() { find "$work/out" -maxdepth 1 -name "$1_*.deb"; }
contents() { dpkg-deb -c "$(deb "$1")" | awk '{print $6}' | sed 's|^\./||'; }
field() { dpkg-deb -f "$(deb "$1")" "$2"; }
expect_file() {  # package, path pattern (grep -E)
  contents "$1" | grep -Eq "$2" || { echo "$1 lacks $2"; contents "$1"; exit 1; }
}
for p in libzr48-1 libzr48-dev zr48-tools libzr48visa1 python3-zr48; do
  [ -n "$(deb $p)" ] || { echo "no package $p"; ls "$work/out"; exit 1; }
  expect_file $p "^usr/share/doc/$p/copyright$"
done
expect_file libzr48-1 '^usr/lib/([a-z0-9_-]+/)?libzr48\.so\.1\.0\.0$'
expect_file libzr48-1 '^usr/lib/([a-z0-9_-]+/)?libzr48\.so\.1$'
expect_file libzr48-dev '^usr/lib/([a-z0-9_-]+/)?libzr48\.so$'
expect_file libzr48-dev '^usr/include/ZR48\.h$'
expect_file libzr48-dev '^usr/lib/([a-z0-9_-]+/)?pkgconfig/zr48\.pc$'
expect_file libzr48-dev '^usr/lib/([a-z0-9_-]+/)?cmake/ZR48/ZR48Config\.cmake$'
expect_file libzr48-dev '^usr/share/doc/libzr48-dev/examples/quickstart\.c$'
expect_file zr48-tools '^usr/bin/zr48-sim$'
expect_file zr48-tools '^usr/bin/zr48$'
expect_file python3-zr48 '^usr/lib/python3/dist-packages/zr48/__init__\.py$'
expect_file python3-zr48 '^usr/lib/python3/dist-packages/zr48/zr48-api\.json$'
field zr48-tools Depends | grep -q 'libzr48-1 (= ' || { echo "zr48-tools must pin libzr48-1"; exit 1; }
expect_file libzr48visa1 '^usr/lib/([a-z0-9_-]+/)?libzr48visa\.so\.1$'
expect_file libzr48-dev '^usr/include/zr48visa/visa\.h$'
expect_file libzr48-dev '^usr/include/zr48visa/visatype\.h$'
expect_file libzr48-dev '^usr/lib/([a-z0-9_-]+/)?pkgconfig/zr48visa\.pc$'
# The runtime package holds no development files, and no package ships the build tree's paths.
if contents libzr48-1 | grep -Eq '\.h$|\.pc$|libzr48\.so$'; then echo "dev files in libzr48-1"; exit 1; fi
field libzr48-1 Depends | grep -q 'libc6' || { echo "no shlibdeps in libzr48-1"; exit 1; }
field libzr48-dev Depends | grep -q 'libzr48-1 (= ' || { echo "libzr48-dev must pin libzr48-1"; exit 1; }
for p in libzr48-1 libzr48visa1; do
  for f in symbols shlibs; do
    dpkg-deb --ctrl-tarfile "$(deb $p)" | tar -t | grep -q "$f\$" || { echo "no $f file in $p"; exit 1; }
  done
done

for p in libzr48-1 libzr48-dev zr48-tools libzr48visa1 python3-zr48; do dpkg -x "$(deb $p)" "$work/root"; done
root="$work/root"
for p in libzr48-1 libzr48-dev zr48-tools libzr48visa1 python3-zr48; do
  grep -q '^License: Expat$' "$root/usr/share/doc/$p/copyright" || { echo "$p: no licence"; exit 1; }
done
lib=$(find "$root" -name libzr48.so.1)
for l in "$lib" "$(dirname "$lib")/libzr48visa.so.1"; do
  ! ldd "$l" | grep -q 'not found' || { ldd "$l"; exit 1; }
done

start_sim "$root/usr/bin/zr48-sim" "$work"
cd "$work"
export PKG_CONFIG_PATH="$(dirname "$lib")/pkgconfig"
# shellcheck disable=SC2046,SC2086
"$cc" -std=c99 $flags "$root/usr/share/doc/libzr48-dev/examples/quickstart.c" \
  $(pkg-config --cflags --libs zr48) -Wl,-rpath,"$(dirname "$lib")" -o quickstart
check_quickstart ./quickstart "$sim_port"
echo "packages: $(cd "$work/out" && ls ./*.deb | tr '\n' ' ')"
# The Python package from the unpacked root, over the unpacked library (not with a sanitizer's
# library, which Python cannot load).
case "$flags" in *sanitize*) exit 0 ;; esac
LD_LIBRARY_PATH="$(dirname "$lib")" PYTHONPATH="$root/usr/lib/python3/dist-packages" /usr/bin/python3 -c "
import zr48
with zr48.Session('TCPIP::127.0.0.1::$sim_port::SOCKET') as psu:
    assert psu.channels['ch2'].measure_voltage() >= 0.0
"
