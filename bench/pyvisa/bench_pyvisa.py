#!/usr/bin/python3
"""The driver's loopback exchanges through PyVISA with the pure-Python pyvisa-py backend, beside a
plain Python socket sending the same bytes to the same simulated instrument.

Benchmark-only (Debian's python3-pyvisa-py). scripts/bench.sh runs it against the zr48-sim
processes that the C++ benchmarks use and merges its JSON into the table. Each case reports the
median over repetitions of the mean wall time and the mean client CPU time (this process) per
exchange. Pinned runs put this process on the CPU of the pinned simulator, as the C++ side does.
"""
import argparse
import json
import os
import random
import socket
import statistics
import time

import pyvisa

PINNED_CPU = 0

# name: (lines sent before the reply, or all lines when there is none; has a reply)
EXCHANGES = {
    "SetVoltage": (["INST ch2", "VOLT 1.5"], False),
    "MeasVolt": (["INST ch2", "MEAS:VOLT?"], True),
    "GetApply": (["APPLY? CH2"], True),
    "OutpUncached": (["INST ch2", "OUTP?"], True),
}


class PlainClient:
    """What an instrument programmer writes by hand in Python: sendall and a line reader."""

    def __init__(self, port, host="127.0.0.1"):
        self.sock = socket.create_connection((host, port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.pending = b""

    def write(self, line):
        self.sock.sendall(line.encode() + b"\n")

    def read_line(self):
        while b"\n" not in self.pending:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("simulator closed the connection")
            self.pending += chunk
        line, _, self.pending = self.pending.partition(b"\n")
        return line.decode()

    def query(self, line):
        self.write(line)
        return self.read_line()

    def close(self):
        self.sock.close()


class PyVisaClient:
    def __init__(self, manager, port=None, resource=None):
        resource = resource or f"TCPIP::127.0.0.1::{port}::SOCKET"
        self.inst = manager.open_resource(
            resource, read_termination="\n", write_termination="\n"
        )
        self.inst.timeout = 5000
        if not resource.endswith("::SOCKET"):
            return  # VXI-11 sends each RPC record in one send and waits for its reply
        # pyvisa-py 0.5 leaves Nagle's algorithm on and refuses VI_ATTR_TCPIP_NODELAY on SOCKET
        # sessions, so a write-write-read exchange waits for the peer's delayed acknowledgement
        # (about 40 ms). The driver and both plain clients set TCP_NODELAY; this sets it on the
        # backend's socket, or the comparison would be with that wait.
        backend_session = manager.visalib.sessions[self.inst.session]
        backend_session.interface.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def write(self, line):
        self.inst.write(line)

    def query(self, line):
        return self.inst.query(line)

    def close(self):
        self.inst.close()


def exchange_function(client, lines, has_reply):
    if not has_reply:
        def run():
            for line in lines:
                client.write(line)
        return run
    head, last = lines[:-1], lines[-1]

    def run():
        for line in head:
            client.write(line)
        client.query(last)
    return run


def measure(client, lines, has_reply, min_time):
    """Mean wall and CPU nanoseconds per exchange over at least `min_time` seconds."""
    run = exchange_function(client, lines, has_reply)
    for _ in range(200):  # warm-up
        run()
    iterations = 0
    wall_start = time.perf_counter_ns()
    cpu_start = time.process_time_ns()
    deadline = wall_start + int(min_time * 1e9)
    while True:
        for _ in range(100):
            run()
        iterations += 100
        now = time.perf_counter_ns()
        if now >= deadline:
            break
    cpu = time.process_time_ns() - cpu_start
    wall = now - wall_start
    client.query("*OPC?")  # outside the timing: the simulator works off queued commands
    return wall / iterations, cpu / iterations


def measure_lan(manager, args, all_cpus):
    """MeasVolt through pyvisa-py over VXI-11 (and SOCKET) on the simulator that serves the
    driver's LAN cases, pinned with it; interleaved as the other cases are."""
    os.sched_setaffinity(0, {PINNED_CPU})
    clients = {"vxi11": PyVisaClient(manager, resource=args.lan_vxi11)}
    if args.lan_socket:
        clients["socket"] = PyVisaClient(manager, resource=args.lan_socket)
        _, host, port, _ = args.lan_socket.split("::")  # TCPIP::<host>::<port>::SOCKET
        clients["python-socket"] = PlainClient(int(port), host)
    lines, has_reply = EXCHANGES["MeasVolt"]
    forms = list(clients)
    samples = {form: [] for form in forms}
    for _ in range(args.repetitions):
        random.shuffle(forms)
        for form in forms:
            samples[form].append(measure(clients[form], lines, has_reply, args.min_time))
    for client in clients.values():
        client.close()
    os.sched_setaffinity(0, all_cpus)
    return {
        ("Lan/Python/MeasVolt/socket/pinned" if form == "python-socket"
         else f"Lan/PyVisa/MeasVolt/{form}/pinned"): {
            "real_ns": statistics.median(r[0] for r in runs),
            "cpu_ns": statistics.median(r[1] for r in runs),
            "repetitions": len(runs),
        }
        for form, runs in samples.items()
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--pinned-port", type=int, required=True)
    parser.add_argument("--unpinned-port", type=int, required=True)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--min-time", type=float, default=0.5)
    parser.add_argument("--out", required=True)
    parser.add_argument("--lan-vxi11", help="VXI-11 resource of the pinned simulator serving all"
                        " three LAN forms (MeasVolt over it, and over --lan-socket, pinned)")
    parser.add_argument("--lan-socket", help="SOCKET resource of that same simulator")
    args = parser.parse_args()

    manager = pyvisa.ResourceManager("@py")
    all_cpus = os.sched_getaffinity(0)
    results = {}
    for placement, port in (("pinned", args.pinned_port), ("unpinned", args.unpinned_port)):
        os.sched_setaffinity(0, {PINNED_CPU} if placement == "pinned" else all_cpus)
        clients = {"Python": PlainClient(port), "PyVisa": PyVisaClient(manager, port)}
        cases = [(c, e) for c in clients for e in EXCHANGES]
        samples = {case: [] for case in cases}
        for _ in range(args.repetitions):
            random.shuffle(cases)  # interleaved, as the C++ suite runs
            for client_name, exchange in cases:
                lines, has_reply = EXCHANGES[exchange]
                samples[(client_name, exchange)].append(
                    measure(clients[client_name], lines, has_reply, args.min_time)
                )
        for (client_name, exchange), runs in samples.items():
            results[f"Loopback/{client_name}/{exchange}/{placement}"] = {
                "real_ns": statistics.median(r[0] for r in runs),
                "cpu_ns": statistics.median(r[1] for r in runs),
                "repetitions": len(runs),
            }
        for client in clients.values():
            client.close()
    if args.lan_vxi11:
        results.update(measure_lan(manager, args, all_cpus))
    os.sched_setaffinity(0, all_cpus)
    manager.close()
    with open(args.out, "w", encoding="utf-8") as out:
        json.dump({"pyvisa": pyvisa.__version__, "results": results}, out, indent=1)


if __name__ == "__main__":
    main()
