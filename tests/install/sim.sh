# Sourced by the install tests: start_sim <zr48-sim> <work dir> starts a simulator on a free
# loopback port, sets $sim_port, and stops it when the script exits.
start_sim() {
  "$1" --port 0 >"$2/sim.log" &
  sim_pid=$!
  trap 'kill $sim_pid 2>/dev/null || true; wait $sim_pid 2>/dev/null || true' EXIT
  sim_port=""
  for _ in $(seq 1 100); do
    sim_port=$(sed -n 's/^zr48-sim listening on .*:\([0-9][0-9]*\)$/\1/p' "$2/sim.log")
    [ -n "$sim_port" ] && return 0
    sleep 0.05
  done
  echo "simulator did not start"
  exit 1
}

# check_quickstart <program> <port>: the quick-start example's table, all seven channels measured.
check_quickstart() {
  out=$("$1" "TCPIP::127.0.0.1::$2::SOCKET")
  echo "$out" | grep -q '^Manufacturer: *Velharn$' || { echo "$out"; exit 1; }
  [ "$(echo "$out" | grep -c '^ch[1-7] .*E[+-]')" -eq 7 ] || { echo "$out"; exit 1; }
}
