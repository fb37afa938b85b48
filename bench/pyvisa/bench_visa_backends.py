#!/usr/bin/python3
"""PyVISA's query() through libzr48visa.so.1 against PyVISA's query() through pyvisa-py: the same
simulator process, the same query ("APPLY? CH2"), this process and the simulator on one CPU.

scripts/bench.sh runs it after the main table; by hand:
  bench_visa_backends.py --library build/release/libzr48visa.so.1 --port <zr48-sim port on CPU 0>
Prints the median over repetitions of the queries per second (wall) and the client CPU per query
for each backend, and the ratios. With --split, also where libzr48visa's query() spends the
client's CPU: the same exchange as bare ctypes viWrite + viRead calls (no PyVISA), one ctypes
call, and a plain Python socket exchange (the kernel's share, the floor of any backend).
"""
import argparse
import ctypes
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
    """Queries per second of wall time, and of this process's CPU time (steadier on a busy machine)."""
    for _ in range(200):  # warm-up
        inst.query(QUERY)
    count = 0
    start = time.perf_counter()
    cpu_start = time.process_time()
    while True:
        for _ in range(100):
            inst.query(QUERY)
        count += 100
        elapsed = time.perf_counter() - start
        if elapsed >= min_time:
            return count / elapsed, count / (time.process_time() - cpu_start)


def cpu_per_call(call, count=10000):
    for _ in range(300):
        call()
    start = time.process_time()
    for _ in range(count):
        call()
    return (time.process_time() - start) / count * 1e6


def print_split(library_path, inst, port):
    """Client CPU per query, from PyVISA down to the kernel."""
    lib = ctypes.CDLL(library_path)
    session = inst.session
    size = inst.chunk_size
    buffer = ctypes.create_string_buffer(size)
    count = ctypes.c_uint32()
    message = (QUERY + "\n").encode()
    vi_write, vi_read, vi_get = lib.viWrite, lib.viRead, lib.viGetAttribute

    def bare():
        vi_write(session, message, len(message), ctypes.byref(count))
        vi_read(session, buffer, size, ctypes.byref(count))

    value = ctypes.c_uint32()
    plain = socket.create_connection(("127.0.0.1", port))
    plain.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def plain_exchange():
        plain.sendall(message)
        plain.recv(4096)

    rows = [("PyVISA query() via libzr48visa", cpu_per_call(lambda: inst.query(QUERY))),
            ("ctypes viWrite + viRead, no PyVISA", cpu_per_call(bare)),
            ("one ctypes call (viGetAttribute)",
             cpu_per_call(lambda: vi_get(session, 0x3FFF001A, ctypes.byref(value)))),
            ("plain Python socket send + recv", cpu_per_call(plain_exchange))]
    plain.close()
    for label, micros in rows:
        print(f"  {label:36s} {micros:6.1f} us client CPU per query")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--library", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--cpu", type=int, default=0)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--min-time", type=float, default=0.5)
    parser.add_argument("--split", action="store_true", help="also the client CPU breakdown")
    args = parser.parse_args()
    os.sched_setaffinity(0, {args.cpu})
    backends = {"libzr48visa": pyvisa.ResourceManager(os.path.abspath(args.library)),
                "pyvisa-py": pyvisa.ResourceManager("@py")}
    instruments = {name: open_instrument(rm, args.port) for name, rm in backends.items()}
    samples = {name: [] for name in backends}
    for _ in range(args.repetitions):
        for name, inst in instruments.items():  # alternated, so drift hits both alike
            samples[name].append(rate(inst, args.min_time))
    wall = {name: statistics.median(v[0] for v in values) for name, values in samples.items()}
    cpu = {name: statistics.median(v[1] for v in values) for name, values in samples.items()}
    for name in backends:
        print(f"PyVISA query() via {name:12s} {wall[name]:9.0f} /s wall ({1e6 / wall[name]:6.1f} us), "
              f"client CPU {1e6 / cpu[name]:6.1f} us per query")
    ratio = wall["libzr48visa"] / wall["pyvisa-py"]
    cpu_ratio = cpu["libzr48visa"] / cpu["pyvisa-py"]
    print(f"rate ratio libzr48visa / pyvisa-py: {ratio:.2f}x wall, {cpu_ratio:.2f}x client CPU "
          f"(target 2x: {'met' if ratio >= 2 else 'not met'})")
    if args.split:
        print_split(os.path.abspath(args.library), instruments["libzr48visa"], args.port)
    for inst in instruments.values():
        inst.close()
    for rm in backends.values():
        rm.close()


if __name__ == "__main__":
    main()
