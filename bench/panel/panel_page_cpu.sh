#!/bin/sh
# The panel page's CPU use at 2 Hz updates of all seven channels: a simulator with every output
# on, the panel polling every 0.5 s, chromium showing the page for SECONDS (default 60). Prints
# the page's share of one CPU (whole chromium process tree) and the panel process's own.
set -eu
cd "$(dirname "$0")/../.."
seconds="${1:-60}"
build=build/release
./scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target zr48-sim zr48-panel
out="$build/panel-cpu"
mkdir -p "$out"
sim_pid=""
panel_pid=""
stop() {
  for pid in $panel_pid $sim_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop EXIT INT TERM
"$build/sim/zr48-sim" --bind 127.0.0.19 >"$out/sim.txt" &
sim_pid=$!
until grep -q listening "$out/sim.txt"; do sleep 0.1; done
port=$(sed -n 's/.*:\([0-9]*\)$/\1/p' "$out/sim.txt")
"$build/tools/panel/zr48-panel" "TCPIP::127.0.0.19::$port::SOCKET" --listen 127.0.0.19:0 \
  --interval 0.5 >"$out/panel.txt" &
panel_pid=$!
until grep -q "^Open " "$out/panel.txt"; do sleep 0.1; done
url=$(sed -n 's/^Open //p' "$out/panel.txt")
base=${url%%/\?*}
token=${url##*token=}
# Every output on, each at its own level, so that every tile and trace changes.
for n in 1 2 3 4 5 6 7; do
  level=$((n * 4 % 29))
  [ "$n" -eq 7 ] && level=5
  for body in "voltage {\"value\":\"$level\"}" "output {\"on\":true}"; do
    curl -fsS -o /dev/null -X POST -H "Origin: $base" -H "X-ZR48-Token: $token" \
      -d "${body#* }" "$base/api/channel/$n/${body%% *}"
  done
done
panel_before=$(awk '{print $14 + $15}' "/proc/$panel_pid/stat")
node bench/panel/page_cpu.mjs "$url" "$seconds"
panel_after=$(awk '{print $14 + $15}' "/proc/$panel_pid/stat")
echo "panel process: $(( (panel_after - panel_before) )) ticks of 1/100 s over about $((seconds + 5)) s"
