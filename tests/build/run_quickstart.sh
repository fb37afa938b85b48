#!/bin/sh
# Runs the quick-start example against a freshly started simulator, and once simulated.
set -eu
sim="$1"; example="$2"
log=$(mktemp)
"$sim" --port 0 >"$log" &
pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true; rm -f "$log"' EXIT
port=""
for _ in $(seq 1 100); do
  port=$(sed -n 's/^zr48-sim listening on .*:\([0-9][0-9]*\)$/\1/p' "$log" | head -n 1)
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "simulator did not start"; exit 1; }
out=$("$example" "TCPIP::127.0.0.1::$port::SOCKET")
echo "$out"
echo "$out" | grep -q '^Manufacturer: *Velharn$'
[ "$(echo "$out" | grep -c '^ch[1-7] .*E[+-]')" -eq 7 ]
"$example" "TCPIP::127.0.0.1::$port::SOCKET" "Simulate=1" >/dev/null
