#!/bin/sh
# Installs the Debian packages the build needs, skipping those already present.
# Extra package names given as arguments are installed too (the benchmarks add theirs). The
# browser test's chromium and npm packages come from setup-browser.sh at the end.
set -eu
packages="cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libtomlplusplus-dev binutils
  python3 python3-pytest python3-pyvisa python3-pyvisa-py pkg-config pkgconf dpkg-dev file libcpp-httplib-dev
  nlohmann-json3-dev libjs-dygraphs libcli11-dev libreadline-dev tmux $*"
missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "setup: installing$missing"
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
fi
"$(dirname "$0")/setup-browser.sh"
