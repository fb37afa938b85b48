#!/bin/sh
# Sets up, builds the quick-start example and the simulated supply (debug preset), starts the
# simulator on a free loopback port, runs the example against it (identification query and
# reset) and stops the simulator again.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default
cmake --build --preset default --target quickstart zr48-sim

build=build/default
log=$(mktemp)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -f "$log"
}
trap cleanup EXIT INT TERM

"$build/sim/zr48-sim" --port 0 >"$log" &
sim_pid=$!

# The simulator's first line names its address: "zr48-sim listening on <addr>:<port>".
port=""
tries=0
while [ -z "$port" ]; do
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "quickstart: the simulator did not start" >&2
    exit 1
  fi
  port=$(sed -n 's/^zr48-sim listening on .*:\([0-9][0-9]*\)$/\1/p' "$log" | head -n 1)
  tries=$((tries + 1))
  if [ -z "$port" ] && [ "$tries" -gt 100 ]; then
    echo "quickstart: the simulator did not report its port" >&2
    exit 1
  fi
  [ -n "$port" ] || sleep 0.1
done

resource="TCPIP::127.0.0.1::$port::SOCKET"
echo "Simulated supply at $resource"
"$build/examples/quickstart" "$resource"
