#!/bin/sh
# The performance table in one command: builds the release preset, runs the Google Benchmark
# suites (repetitions, JSON) and the PyVISA comparison against the same two simulator processes,
# and prints one table (case, median, baseline, ratio, target, met?). See PERFORMANCE.md.
#
# Environment: BENCH_REPETITIONS (default 5), BENCH_MIN_TIME seconds per run (default 0.5).
set -eu
cd "$(dirname "$0")/.."
repetitions="${BENCH_REPETITIONS:-5}"
min_time="${BENCH_MIN_TIME:-0.5}"
build=build/release
results="$build/bench-results"
python=/usr/bin/python3  # Debian's interpreter, which sees python3-pyvisa-py

./scripts/setup.sh python3-pyvisa-py util-linux
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target bench_driver bench_engine bench_visa zr48-sim zr48_python zr48visa
mkdir -p "$results"

# Two simulated instruments as separate processes: one on the benchmark CPU (0), one free.
pinned_pid=""
unpinned_pid=""
lan_pid=""
stop_simulators() {
  for pid in $pinned_pid $unpinned_pid $lan_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap stop_simulators EXIT INT TERM
taskset -c 0 "$build/sim/zr48-sim" >"$results/sim-pinned.txt" &
pinned_pid=$!
"$build/sim/zr48-sim" >"$results/sim-unpinned.txt" &
unpinned_pid=$!
port_of() {
  tries=0
  until grep -q listening "$1" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || { echo "bench: simulator did not start" >&2; exit 1; }
    sleep 0.05
  done
  sed -n 's/.*:\([0-9][0-9]*\)$/\1/p' "$1"
}
# A third, pinned, serving SOCKET, VXI-11 (portmapper on 111) and HiSLIP on a loopback address
# of this run's own: MeasVolt over each LAN form, through the driver and through pyvisa-py.
lan_address="127.0.62.$(($$ % 250 + 1))"
taskset -c 0 "$build/sim/zr48-sim" --bind "$lan_address" >"$results/sim-lan.txt" &
lan_pid=$!
ZR48_BENCH_SIM_PINNED_PORT=$(port_of "$results/sim-pinned.txt")
ZR48_BENCH_SIM_UNPINNED_PORT=$(port_of "$results/sim-unpinned.txt")
export ZR48_BENCH_SIM_PINNED_PORT ZR48_BENCH_SIM_UNPINNED_PORT
port_of "$results/sim-lan.txt" >/dev/null
lan_resource() { sed -n "s/^zr48-sim $1 on [^ ]*\( (abort channel [0-9]*)\)\{0,1\}: \(TCPIP::.*\)$/\2/p" "$results/sim-lan.txt"; }
ZR48_BENCH_LAN_SOCKET=$(lan_resource SOCKET)
ZR48_BENCH_LAN_HISLIP=$(lan_resource HiSLIP)
ZR48_BENCH_LAN_VXI11=""
if grep -q "portmapper on $lan_address:111 " "$results/sim-lan.txt"; then
  ZR48_BENCH_LAN_VXI11=$(lan_resource VXI-11)
else
  echo "bench: port 111 not available, VXI-11 rows are left out" >&2
fi
export ZR48_BENCH_LAN_SOCKET ZR48_BENCH_LAN_HISLIP ZR48_BENCH_LAN_VXI11

gbench() {  # binary, JSON output, extra arguments
  binary="$1"
  out="$2"
  shift 2
  "$binary" --benchmark_out="$out" --benchmark_out_format=json "$@" >"$out.txt" 2>&1
}

echo "bench: memory per session (a process of its own)"
gbench "$build/bench/driver/bench_driver" "$results/memory.json" --benchmark_filter='^Session/Memory'
echo "bench: driver suite, $repetitions repetitions, interleaved"
gbench "$build/bench/driver/bench_driver" "$results/driver.json" \
  --benchmark_filter='^(Loopback/|Lan/|Simulated/|Session/OpenClose|Throughput/|Simulator/)' \
  --benchmark_repetitions="$repetitions" --benchmark_min_time="$min_time" \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
echo "bench: PyVISA (pyvisa-py) and plain Python socket"
"$python" bench/pyvisa/bench_pyvisa.py --pinned-port "$ZR48_BENCH_SIM_PINNED_PORT" \
  --unpinned-port "$ZR48_BENCH_SIM_UNPINNED_PORT" --repetitions "$repetitions" \
  --min-time "$min_time" --out "$results/pyvisa.json" \
  ${ZR48_BENCH_LAN_VXI11:+--lan-vxi11 "$ZR48_BENCH_LAN_VXI11" --lan-socket "$ZR48_BENCH_LAN_SOCKET"}
echo "bench: engine and I/O-layer suites"
gbench "$build/bench/engine/bench_engine" "$results/engine.json" --benchmark_min_time=0.2
gbench "$build/bench/visa/bench_visa" "$results/visa.json" --benchmark_min_time=0.2 \
  --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true

echo
echo "Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), kernel $(uname -r)"
echo "Results: $results (JSON and console output of every suite)"
echo
echo "bench: what the Python package adds to a C call"
PYTHONPATH="$build/python" "$python" bench/python/bench_python.py \
  --bench-driver "$build/bench/driver/bench_driver" --repetitions "$repetitions" \
  --min-time "$min_time" --out "$results/python.json" | tee "$results/python.md"
echo
"$python" bench/report.py --driver "$results/driver.json" --memory "$results/memory.json" \
  --visa "$results/visa.json" \
  --pyvisa "$results/pyvisa.json" | tee "$results/table.md"
echo
echo "PyVISA query() through libzr48visa against pyvisa-py (pinned simulator, CPU 0):"
"$python" bench/pyvisa/bench_visa_backends.py --library "$build/libzr48visa.so.1" \
  --port "$ZR48_BENCH_SIM_PINNED_PORT" --repetitions "$repetitions" --min-time "$min_time" |
  tee "$results/pyvisa-backends.txt"
