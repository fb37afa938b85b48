#!/usr/bin/python3
"""PyVISA's query() through libzr48visa.so.1 against PyVISA's query() through pyvisa-py: the same
simulator process, the same query ("APPLY? CH2"), this process and the simulator on one CPU.

scripts/bench.sh runs it after the main table; by hand:
  bench_visa_backends.py --library build/release/libzr48visa.so.1 --port <zr48-sim port on CPU 0>
Prints the median over repetitions of the queries per second for each backend, and the ratio.
"""
import argparse
import os
import socket
import statistics
import time

import pyvisa

QUERY = "APPLY? CH2"


def open_instrument(manager, port):
    inst = manager.open_resource(f"TCPIP::127.0.0.1::{port}::SOCKET",
                                 read_termination="\n", write_termination="\n")
    inst.timeout = 5000
    if type(manager.visalib).__module__.startswith("pyvisa_py"):
        # pyvisa-py leaves Nagle's algorithm on for sockets; libzr48visa sets TCP_NODELAY.
        # Without this the comparison would be with the delayed-acknowledgement wait.
        backend = manager.visalib.sessions[inst.session]
        backend.interface.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    return inst


def rate(inst, min_time):
    for _ in range(200):  # warm-up
        inst.query(QUERY)
    count = 0
    start = time.perf_counter()
    while True:
        for _ in range(100):
            inst.query(QUERY)
        count += 100
        elapsed = time.perf_counter() - start
        if elapsed >= min_time:
            return count / elapsed


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--library", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cpu", type=int, default=0)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--min-time", type=float, default=0.5)
    args = parser.parse_args()
    os.sched_setaffinity(0, {args.cpu})
    backends = {"libzr48visa": pyvisa.ResourceManager(os.path.abspath(args.library)),
                "pyvisa-py": pyvisa.ResourceManager("@py")}
    instruments = {name: open_instrument(rm, args.port) for name, rm in backends.items()}
    samples = {name: [] for name in backends}
    for _ in range(args.repetitions):
        for name, inst in instruments.items():  # alternated, so drift hits both alike
            samples[name].append(rate(inst, args.min_time))
    medians = {name: statistics.median(values) for name, values in samples.items()}
    for name, value in medians.items():
        print(f"PyVISA query() via {name:12s} {value:9.0f} /s  ({1e6 / value:6.1f} us per query)")
    ratio = medians["libzr48visa"] / medians["pyvisa-py"]
    print(f"ratio libzr48visa / pyvisa-py: {ratio:.2f}x (target 2x: {'met' if ratio >= 2 else 'not met'})")
    for inst in instruments.values():
        inst.close()
    for rm in backends.values():
        rm.close()


if __name__ == "__main__":
    main()
