#!/bin/sh
# Installs what the panel's browser test needs: Debian's chromium, Node.js with npm, and the
# locked npm packages of tools/panel/test (playwright-core drives the installed chromium; no
# browser is downloaded). Failures here only make the browser test skip, so they do not stop
# the set-up of the build.
set -u
cd "$(dirname "$0")/.."
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
missing=""
command -v chromium >/dev/null 2>&1 || missing="$missing chromium"
# Node.js may come from elsewhere (with its own npm); Debian's npm is only needed without one.
command -v node >/dev/null 2>&1 || missing="$missing nodejs"
command -v npm >/dev/null 2>&1 || missing="$missing npm"
if [ -n "$missing" ]; then
  echo "setup-browser: installing$missing"
  $sudo apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing ||
    echo "setup-browser: could not install$missing; the browser test will skip" >&2
fi
lock=tools/panel/test/package-lock.json
stamp=tools/panel/test/node_modules/.package-lock.json
if command -v npm >/dev/null 2>&1 && { [ ! -f "$stamp" ] || [ "$lock" -nt "$stamp" ]; }; then
  (cd tools/panel/test && npm ci --no-audit --no-fund --loglevel=error) ||
    echo "setup-browser: npm ci failed; the browser test will skip" >&2
fi
exit 0
